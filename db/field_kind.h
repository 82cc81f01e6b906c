#pragma once
// The kinds of value a column is read and written as.

// The kind of a column's value in the program: UTF-8 text, a 32-bit integer,
// a double, or a wall-clock date and time.
enum class FieldKind { Text, Integer, Floating, DateTime };
