// Filters and Locate of a table component on a database file, answered by the
// SQL layer's expression instead of the test stand-in.
#include <gtest/gtest.h>

#include "engine/sql/expr/QXLExpressionServices.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

using Ids = std::vector<std::int32_t>;

class TableFilter : public qxl::testsupport::TableFixture {
protected:
  TableFilter() { RegisterSQLExpressions(); }
};

TEST_F(TableFilter, FiltersAndLocateRunOnTheRealParser) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  AddPerson(*T, 1, "amy", 10);
  AddPerson(*T, 2, "Bob", 20);
  AddPerson(*T, 3, "", 30);
  AddPerson(*T, 4, "Amelia", 40);
  AddPerson(*T, 5, "Bea", 20);

  struct FilterCase {
    const char* Filter;
    bool CaseInsensitive;
    Ids Expected;
  } Filters[] = {
      {"Score > 15 AND (Name LIKE 'A%' OR Name IS NULL)", false, {3, 4}},
      {"Score > 15 AND (Name LIKE 'A%' OR Name IS NULL)", true, {3, 4}},
      {"Name LIKE 'a%'", true, {1, 4}},
      {"UPPER(Name) = 'BOB'", false, {2}},
      {"ID IN (1, 4, 9)", false, {1, 4}},
      {"Score BETWEEN 15 AND 35", false, {2, 3, 5}},
      {"Name = ''", false, {3}},
      {"Name <> 'Bob'", false, {1, 3, 4, 5}},
      {"ID = 3", false, {3}},
      {"ID > 2 AND ID <= 4", false, {3, 4}},
      {"Name >= 'B'", false, {2, 5}},
      {"ID * 10 = Score AND Score <> 20 OR Name = 'Bea'", false, {1, 3, 4, 5}},
      {"LENGTH(Name) > 3", false, {4}},
      {"ID = 2 OR Name = 'Bea'", false, {2, 5}},
  };
  for (const FilterCase& C : Filters) {
    SCOPED_TRACE(C.Filter);
    T->SetFilterOptions(C.CaseInsensitive ? TFilterOptions{foCaseInsensitive} : TFilterOptions{});
    T->SetFilterText(C.Filter);
    T->SetFiltered(true);
    EXPECT_EQ(Forward(*T), C.Expected);
  }
  T->SetFiltered(false);

  struct LocateCase {
    const char* Name;
    TLocateOptions Options;
    bool Found;
    std::int32_t Id;
  } Locates[] = {
      {"Bob", {}, true, 2},        {"bob", {}, false, 0}, {"bob", {loCaseInsensitive}, true, 2},
      {"Am", {loPartialKey}, true, 4}, {"Zed", {}, false, 0},
  };
  for (const LocateCase& C : Locates) {
    SCOPED_TRACE(C.Name);
    T->Last();
    EXPECT_EQ(T->Locate("Name", {Variant(C.Name)}, C.Options), C.Found);
    EXPECT_EQ(T->FieldByName("ID").AsInteger(), C.Found ? C.Id : 5);
  }
  EXPECT_TRUE(T->Locate("Name", {Variant::Null()}, {}));
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);
  EXPECT_TRUE(T->Locate("ID", {Variant(std::int32_t(4))}, {}));
  EXPECT_EQ(T->FieldByName("Name").AsString(), "Amelia");

  // A malformed filter is refused with its parse error.
  T->SetFilterText("Score > ");
  try {
    T->SetFiltered(true);
    Forward(*T);
    ADD_FAILURE() << "no error for a malformed filter";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 30066) << E.what();
  }
  T->Close();
}

}  // namespace
}  // namespace qxl::exprtest
