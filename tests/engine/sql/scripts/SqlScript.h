#pragma once
// The SQL script driver of the tests: a text file of records, each run in
// turn against one fresh database, so that SQL cases are added as text.
// Records are separated by blank lines; a line starting with "#" is a
// comment. The records:
//
//   table NAME                      a table made through the table component
//   Id INTEGER required             one column a line: SQL type, optional size
//   Name VARCHAR(20)                  in parentheses, optional "required"
//   index ByID Id primary           an index: name, ";"-separated fields,
//   index ByName Name;Id unique       options primary, unique, desc FIELDS
//   rows                            then its rows, values separated by "|",
//   1|Anna                            NULL for none
//
//   statement ok                    SQL run with ExecSQL
//   statement count N               ... and its RowsAffected must be N
//   statement error CODE [TEXT]     ... must fail with that native code (and
//                                     a message that holds TEXT)
//   query sorted|ordered [OPTIONS]  SQL opened; its rows compared with those
//   SQL ...                           after "----", as a set (sorted) or in
//   ----                              order. OPTIONS: "live" (RequestLive,
//   1|Anna                            the result must be editable),
//                                     "readonly" (RequestLive, the result must
//                                     not be editable), "names" (the first
//                                     row after "----" is the column names)
//   query error CODE [TEXT]         SQL opened; it must fail so
//
// A record's SQL may be preceded by parameter lines, "param NAME TYPE VALUE"
// with TYPE integer, float, string or null (VALUE then omitted).
//
// Threads: one runner per test, on the test's thread.
#include <string>
#include <vector>

namespace qxl::testsupport {

// Runs every record of the script file Path against a new database in a
// scratch directory; each failing record is reported as a test failure
// naming the file and line. Answers the number of records run.
int RunSqlScript(const std::string& Path);

}  // namespace qxl::testsupport
