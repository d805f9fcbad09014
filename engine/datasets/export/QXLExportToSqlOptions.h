#pragma once
// What the export of a table as an SQL script writes: the structure (with or
// without a DROP TABLE line first, with or without the BLOB storage
// settings) and the records (with or without the column names in each
// INSERT). Every table carries one. Thread rule: one thread, its table's.

namespace qxl {

class TQXLExportToSqlOptions {
public:
  // Copies the five switches.
  void Assign(const TQXLExportToSqlOptions& Source) { *this = Source; }

  bool Structure = true;
  bool AddDropTable = true;
  bool BlobSettings = false;
  bool Data = false;
  bool FieldNamesInInserts = false;
};

}  // namespace qxl
