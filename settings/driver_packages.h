#pragma once
// The Debian package that provides a missing ODBC driver.

#include <string>

class CDBException;

// When `e`, raised by a connect with `connectString`, means that the driver
// the connect names (by DRIVER=, or by the data source's Driver key) is not
// installed: the sentence that names its Debian package (libsqliteodbc,
// odbc-postgresql, odbc-mariadb). Empty otherwise, or for a driver of
// another product.
std::string MissingDriverHint(const std::string& connectString, const CDBException& e);

// The Debian package of an ODBC driver given by its name or its library
// file ("SQLite3", "PostgreSQL ANSI", "libmaodbc.so", ...); empty when unknown.
std::string DriverPackage(const std::string& driver);
