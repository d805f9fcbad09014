// The dataset base over a row list whose ring of buffers is smaller than the
// list: navigation both ways, the ring's contents, bookmarks, refresh.
#include <gtest/gtest.h>

#include "engine/datasets/base/DatabaseError.h"
#include "tests/engine/datasets/base/RowListDataSet.h"

using namespace qxl;

namespace {

std::vector<Row> Letters(const char* Names) {
  std::vector<Row> rows;
  for (std::int32_t i = 0; Names[i]; ++i) rows.push_back(Row{i + 1, std::string(1, Names[i]), i * 1.5});
  return rows;
}

std::string Name(TDataSet& ds) { return ds.FieldByName("Name").AsString(); }

}  // namespace

TEST(DataSetNavigation, WalksBothWaysThroughARingSmallerThanTheRows) {
  RowListDataSet ds(Letters("abcdefg"));
  ds.SetBufferCount(3);
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.Ring(), "[a] b c");
  std::string seen;
  while (!ds.Eof()) {
    seen += Name(ds);
    ds.Next();
  }
  EXPECT_EQ(seen, "abcdefg");
  EXPECT_EQ(Name(ds), "g");
  EXPECT_EQ(ds.Ring(), "e f [g]");
  seen.clear();
  while (!ds.Bof()) {
    seen += Name(ds);
    ds.Prior();
  }
  EXPECT_EQ(seen, "gfedcba");
  EXPECT_EQ(ds.Ring(), "[a] b c");
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(ds.Ring(), "e f [g]");
  EXPECT_EQ(ds.MoveBy(-4), -4);
  EXPECT_EQ(Name(ds), "c");
  EXPECT_EQ(ds.MoveBy(10), 4);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.BufferedRecordCount(), 3);
}

TEST(DataSetNavigation, AnEmptyDatasetHasNoRecordToRead) {
  RowListDataSet ds;
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.FieldByName("Id").IsNull());
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "");
  EXPECT_TRUE(ds.GetBookmark().empty());
  ds.Next();
  ds.Prior();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_THROW(ds.Delete(), EDatabaseError);
}

TEST(DataSetNavigation, BookmarksReturnToTheirRecordAndCompareByOrder) {
  RowListDataSet ds(Letters("abcdef"));
  ds.SetBufferCount(2);
  ds.Open();
  ds.MoveBy(3);
  const TBookmark d = ds.GetBookmark();
  ds.First();
  const TBookmark a = ds.GetBookmark();
  ds.GotoBookmark(d);
  EXPECT_EQ(Name(ds), "d");
  EXPECT_TRUE(ds.BookmarkValid(d));
  struct Case {
    TBookmark First, Second;
    int Sign;
  };
  const Case cases[] = {{a, d, -1}, {d, a, 1}, {d, d, 0}, {d, {}, -1}, {{}, d, 1}, {{}, {}, 0}};
  for (const Case& c : cases) {
    const std::int32_t r = ds.CompareBookmarks(c.First, c.Second);
    EXPECT_EQ((r > 0) - (r < 0), c.Sign);
  }
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(d));
  EXPECT_EQ(Name(ds), "e");
  EXPECT_THROW(ds.GotoBookmark(d), EDatabaseError);
}

TEST(DataSetNavigation, ARecordReachedByBookmarkOrSearchStandsInTheMiddleOfTheRing) {
  RowListDataSet ds(Letters("abcdefg"));
  ds.SetBufferCount(3);
  ds.Open();
  ds.MoveBy(3);
  const TBookmark d = ds.GetBookmark();
  ds.Last();
  ds.GotoBookmark(d);
  EXPECT_EQ(ds.Ring(), "c [d] e");
  EXPECT_TRUE(ds.Locate("Name", {Variant("f")}, {}));
  EXPECT_EQ(ds.Ring(), "e [f] g");
  EXPECT_TRUE(ds.Locate("Name", {Variant("a")}, {}));
  EXPECT_EQ(ds.Ring(), "[a] b c");
  ds.Next();
  ds.Next();
  EXPECT_EQ(ds.Ring(), "a b [c]");
  ds.Next();
  EXPECT_EQ(ds.Ring(), "b c [d]");
  ds.Prior();
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(ds.Ring(), "[a] b c");
  EXPECT_FALSE(ds.Bof());
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
}

TEST(DataSetNavigation, RefreshShowsChangesMadeBehindTheDataset) {
  RowListDataSet ds(Letters("abc"));
  ds.Open();
  ds.Next();
  ds.Rows[1].Name = "B";
  EXPECT_EQ(Name(ds), "b");
  ds.Refresh();
  EXPECT_EQ(Name(ds), "B");
  ds.Rows.erase(ds.Rows.begin() + 1);
  ds.Refresh();
  EXPECT_EQ(Name(ds), "c");
}

TEST(DataSetNavigation, ClosedDatasetsRefuseNavigation) {
  RowListDataSet ds(Letters("ab"));
  EXPECT_THROW(ds.First(), EDatabaseError);
  EXPECT_THROW(ds.Insert(), EDatabaseError);
  ds.Open();
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldCount(), 0);  // the fields it made are gone
  EXPECT_THROW(ds.FieldByName("Id"), EDatabaseError);
}
