#include "tests/tools/catalogue_fixture.h"

#include "tests/support/backend.h"

#include "db/sql_text.h"

#include <utility>

#ifndef SE_SOURCE_DIR
#error "SE_SOURCE_DIR must name the source tree"
#endif

void CatalogueFixture::SetUp() {
    ASSERT_TRUE(session_.Open(CurrentBackend().ConnectString(), OpenOptions::NoOdbcDialog));
}

void CatalogueFixture::LoadDemo(bool nullableKeys) {
    CreateStationTables(session_);
    if (nullableKeys) {
        DropTableIfExists(session_, "SITECHAN");
        session_.ExecuteDirect(
            "CREATE TABLE SITECHAN (STA VARCHAR(8), CHAN VARCHAR(8), NGROUP INTEGER, CHANINDEX INTEGER, "
            "EDEPH DOUBLE PRECISION, LAT DOUBLE PRECISION, LON DOUBLE PRECISION, SPS DOUBLE PRECISION, "
            "HANG DOUBLE PRECISION, VANG DOUBLE PRECISION, DESCR VARCHAR(50), CALIBFILE VARCHAR(1024), "
            "LCODE VARCHAR(8), LDDATE TIMESTAMP NULL)");
    }
    RunSqlScript(session_, CurrentBackend().SqlDir() + "/demo_stations.sql");
}

void CatalogueFixture::Execute(const std::vector<std::string>& statements) {
    for (const std::string& sql : statements) {
        try {
            session_.ExecuteDirect(sql);
        } catch (const CDBException& e) {
            FAIL() << sql << "\n" << e.ErrorText;
        }
    }
}

void CatalogueFixture::CreateAffiliation(const std::vector<std::pair<std::string, std::string>>& rows) {
    DropTableIfExists(session_, "AFFILIATION");
    affiliation_ = true;
    Execute({std::string("CREATE TABLE AFFILIATION (NET VARCHAR(8) NOT NULL, STA VARCHAR(6) NOT NULL, LDDATE ") +
             (CurrentBackend().name == "mariadb" ? "DATETIME" : "TIMESTAMP") + ")"});
    for (const auto& [net, sta] : rows)
        Execute({"INSERT INTO AFFILIATION (NET, STA) VALUES (" + SqlQuote(net) + ", " + SqlQuote(sta) + ")"});
}

void CatalogueFixture::TearDown() {
    if (affiliation_) DropTableIfExists(session_, "AFFILIATION");
}

std::vector<TextRow> CatalogueFixture::StoredCatalogue() const {
    std::vector<TextRow> rows = QueryRows(session_, "SELECT * FROM SITE ORDER BY STA");
    for (TextRow& row : QueryRows(session_, "SELECT * FROM SITECHAN ORDER BY STA, CHAN, NGROUP, CHANINDEX"))
        rows.push_back(std::move(row));
    return rows;
}

std::string CatalogueFixture::ResponseFiles() { return std::string(SE_SOURCE_DIR) + "/scripts/demo-response"; }
