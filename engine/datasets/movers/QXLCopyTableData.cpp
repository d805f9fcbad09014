// The record copier: one pass over the source, a fresh destination record
// per source record, failures written to the log line by line.
#include "engine/datasets/movers/QXLCopyTableData.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/CopyDatasetFieldValue.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Format.h"

namespace qxl {

namespace {

std::string TableNameOf(const void* Object, bool IsTable) {
  return IsTable ? static_cast<const TQXLTable*>(Object)->TableName() : std::string("unknown");
}

std::string OwnerTableName(const TComponent* Owner) {
  const auto* table = dynamic_cast<const TQXLTable*>(Owner);
  return TableNameOf(table, table != nullptr);
}

std::string SourceTableName(const TDataSet& Source) {
  const auto* table = dynamic_cast<const TQXLTable*>(&Source);
  return TableNameOf(table, table != nullptr);
}

// One source field definition and where its values go.
struct TFieldRoute {
  std::string Name;               // the definition's name
  TField* Source = nullptr;       // nullptr: the type has no field object
  TField* Dest = nullptr;         // nullptr: not copied
};

// The destination field of a source field: by object id when asked and
// both are tables, else by name.
TField* DestFieldOf(TDataSet& Source, TDataSet& Dest, const TField& SourceField, bool MatchByObjectID) {
  auto* sourceTable = dynamic_cast<TQXLTable*>(&Source);
  if (MatchByObjectID && sourceTable && dynamic_cast<TQXLTable*>(&Dest)) {
    if (const TQXLAdvFieldDef* def = sourceTable->AdvFieldDefs().Find(SourceField.FieldName)) {
      const TQXLAdvFieldDefs& requested = sourceTable->RestructureFieldDefs();
      for (std::int32_t j = 0; j < requested.Count(); ++j)
        if (requested.Defs(j).ObjectID == def->ObjectID) {
          if (j < Dest.FieldCount()) return &Dest.Fields(j);
          break;
        }
    }
  }
  return Dest.FindField(SourceField.FieldName);
}

std::vector<TFieldRoute> RoutesOf(TDataSet& Source, TDataSet& Dest, bool MatchByObjectID) {
  std::vector<TFieldRoute> routes;
  const TFieldDefs& defs = Source.FieldDefs();
  const bool byPosition = Source.FieldCount() == defs.Count();
  for (std::int32_t i = 0; i < defs.Count(); ++i) {
    TFieldRoute route;
    route.Name = defs[i].Name;
    route.Source = byPosition ? &Source.Fields(i) : Source.FindField(route.Name);
    if (route.Source) route.Dest = DestFieldOf(Source, Dest, *route.Source, MatchByObjectID);
    routes.push_back(route);
  }
  return routes;
}

template <typename Step>
void IgnoringFailure(Step&& Run) {
  try {
    Run();
  } catch (...) {
    // The step only tidies up after a failure already reported.
  }
}

}  // namespace

bool CopyTableData(const TComponent* Owner, TDataSet& Source, TDataSet& Dest, std::string& ErrorText, bool& Continue,
                   bool IgnoreErrors, bool MatchByObjectID, const TQXLCopyProgressEvent& OnProgress,
                   std::int32_t MinProgress, std::int32_t MaxProgress) {
  const std::string ownerName = OwnerTableName(Owner);
  Source.CheckBrowseMode();
  const TBookmark bookmark = Source.GetBookmark();
  struct TReturn {
    TDataSet& Source;
    const TBookmark& Bookmark;
    ~TReturn() {
      IgnoringFailure([this] {
        if (!Bookmark.empty() && Source.Active() && Source.BookmarkValid(Bookmark)) Source.GotoBookmark(Bookmark);
      });
    }
  } back{Source, bookmark};
  IgnoringFailure([&Source] { Source.Refresh(); });
  Source.First();

  const std::int64_t recordCount = std::max<std::int64_t>(Source.RecordCount(), 1);
  const std::int64_t span = static_cast<std::int64_t>(MaxProgress) - MinProgress;
  const std::int64_t s = span == 0 ? 1 : recordCount / span + 1;
  const std::int64_t step = std::max<std::int64_t>(std::min<std::int64_t>(s, 30), 1);
  const std::vector<TFieldRoute> routes = RoutesOf(Source, Dest, MatchByObjectID);
  bool result = true;
  std::int64_t r = 1;

  while (!Source.Eof()) {
    Dest.Insert();
    for (const TFieldRoute& route : routes) {
      if (!route.Source) {
        const std::string line = platform::Format("Cannot copy field '%s' of table \"%s\". The field's data type is not supported.",
                                                  route.Name, SourceTableName(Source));
        ErrorText += line + "\r\n";
        if (!IgnoreErrors) {
          IgnoringFailure([&Dest] { Dest.Cancel(); });
          throw EQXLException(CopyFieldTypeCode, line);
        }
        result = false;
        continue;
      }
      if (!route.Dest) continue;
      try {
        CopyDatasetFieldValue(*route.Source, *route.Dest);
      } catch (const std::exception& error) {
        ErrorText += platform::Format(
            "Error copying table \"%s\". Record #%d, field '%s' was copied with Null value due to error: %s\r\n",
            ownerName, r, route.Source->FieldName, std::string(error.what()));
        IgnoringFailure([&route] { route.Dest->Clear(); });
        if (!IgnoreErrors) {
          IgnoringFailure([&Dest] { Dest.Cancel(); });
          throw;
        }
        result = false;
      }
    }
    try {
      Dest.Post();
    } catch (const std::exception& error) {
      ErrorText += platform::Format("Error copying table \"%s\". Record #%d was not imported due to error: %s\r\n\r\n",
                                    ownerName, r, std::string(error.what()));
      IgnoringFailure([&Dest] { Dest.Cancel(); });
      if (!IgnoreErrors) throw;
      result = false;
    }

    ++r;
    try {
      Source.Next();
    } catch (const std::exception& moveError) {
      // Later records are reached by their number; each one that cannot be
      // is logged. When none can, the copy cannot go on: it ends with an
      // error instead of reading the same place again.
      bool positioned = false;
      while (!positioned && r <= Source.RecordCount()) {
        try {
          Source.SetRecNo(r);
          positioned = true;
        } catch (const std::exception&) {
          ErrorText += platform::Format("Record #%d corrupted and skipped.\r\n", r);
          result = false;
          ++r;
        }
      }
      if (!positioned) {
        const std::string line = platform::Format(
            "Error copying table \"%s\". No record after record #%d can be reached: %s", ownerName, r - 1,
            std::string(moveError.what()));
        ErrorText += line + "\r\n";
        if (!IgnoreErrors) throw EQXLException(CopyPositionCode, line);
        result = false;
        break;
      }
    }

    if ((r - 2) % step == 0) {
      const double done = static_cast<double>(r - 1) * static_cast<double>(span) / static_cast<double>(recordCount);
      const auto percent = static_cast<std::int32_t>(MinProgress + std::nearbyint(done));
      if (OnProgress) OnProgress(Source, percent, Continue);
      if (!Continue) {
        ErrorText += "Terminated by User.\r\n";
        result = false;
        break;
      }
    }
  }
  return result;
}

}  // namespace qxl
