// The table component's export as an SQL script: where the text goes. The
// script itself is written by the export folder.
#include <memory>

#include "engine/core/streams/QXLFileStream.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/datasets/export/QXLExportToSqlOptions.h"
#include "engine/datasets/export/QXLTableSqlScript.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

// A stream that takes fewer bytes than the script gives it.
constexpr std::int32_t ScriptWriteCode = 20320;

}  // namespace

void TQXLTable::SetExportToSqlOptions(const TQXLExportToSqlOptions& Value) { FExportToSqlOptions->Assign(Value); }

void TQXLTable::ExportToSQL(TQXLStream& Stream) {
  WriteTableSqlScript(*this, *FExportToSqlOptions, [&Stream](std::string_view Text) {
    const std::string ansi = platform::Utf8ToAnsi(Text);
    if (!ansi.empty()) WriteBufferToStream(ansi.data(), static_cast<std::int32_t>(ansi.size()), Stream, ScriptWriteCode);
  });
}

void TQXLTable::ExportToSQL(const std::string& FileName) {
  TQXLFileStream stream(FileName, TQXLFileStream::fmCreate);
  ExportToSQL(stream);
}

std::string TQXLTable::ExportToSQL() {
  std::string script;
  WriteTableSqlScript(*this, *FExportToSqlOptions, [&script](std::string_view Text) { script += Text; });
  return script;
}

}  // namespace qxl
