// The dataset's BLOB streams: the modes, the content stored by freeing a
// written stream and read back, the field-change event only for a changed
// content, and a stream whose record was stored before it was freed.
#include <gtest/gtest.h>

#include "engine/core/QXLException.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/dataset/QXLBLOBStream.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

using namespace qxl;

namespace {

class BLOBStreamTest : public qxl::testsupport::TableFixture {
protected:
  void SetUp() override {
    TableFixture::SetUp();
    T = CreatePeople();
    T->Open();
    AddPerson(*T, 1, "Amy");
    T->Edit();
    T->FieldByName("Notes").SetAsString("first content");
    T->Post();
    T->FieldByName("Notes").OnChange = [this](TField&) { ++Changes; };
  }
  void TearDown() override { T.reset(); }

  static std::string ReadAll(TQXLStream& S) {
    std::string Text(static_cast<std::size_t>(S.GetSize()), '\0');
    S.Seek(0, soBeginning);
    EXPECT_EQ(S.Read(Text.data(), static_cast<std::int32_t>(Text.size())), static_cast<std::int32_t>(Text.size()));
    return Text;
  }
  TField& Notes() { return T->FieldByName("Notes"); }

  std::unique_ptr<TQXLTable> T;
  std::int32_t Changes = 0;
};

}  // namespace

TEST_F(BLOBStreamTest, AReadStreamReadsTheStoredContentAndWritesNothing) {
  TQXLBLOBStream S(Notes(), bmRead);
  EXPECT_EQ(ReadAll(S), "first content");
  EXPECT_GT(S.CompressedSize(), 0);
  const char Byte = 'x';
  const EQXLException Write = Raised([&] { S.Write(&Byte, 1); });
  EXPECT_EQ(Write.NativeError, 10115);
  EXPECT_EQ(Write.Message, "Cannot write to read only stream - Native error: 10115");
  EXPECT_EQ(NativeCodeOf([&] { S.SetSize(0); }), 10116);
  // Two readers at once.
  TQXLBLOBStream Other(Notes(), bmRead);
  EXPECT_EQ(ReadAll(Other), "first content");
}

TEST_F(BLOBStreamTest, WritingNeedsTheEditStateAndOneWriterPerField) {
  EXPECT_EQ(NativeCodeOf([&] { TQXLBLOBStream S(Notes(), bmWrite); }), 10111);
  T->Edit();
  auto Writer = std::make_unique<TQXLBLOBStream>(Notes(), bmReadWrite);
  EXPECT_EQ(NativeCodeOf([&] { TQXLBLOBStream S(Notes(), bmWrite); }), 10115);
  Writer.reset();
  T->Cancel();
}

TEST_F(BLOBStreamTest, AWriteStreamStartsEmptyAndStoresItsContentWhenFreed) {
  T->Edit();
  {
    TQXLBLOBStream S(Notes(), bmWrite);
    EXPECT_EQ(S.GetSize(), 0);
    const std::string Text = "second, longer content";
    EXPECT_EQ(S.Write(Text.data(), static_cast<std::int32_t>(Text.size())), static_cast<std::int32_t>(Text.size()));
    EXPECT_EQ(Changes, 0);
  }
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(T->Modified());
  T->Post();
  EXPECT_EQ(Notes().AsString(), "second, longer content");

  // Setting the size it already has counts as a change.
  T->Edit();
  {
    TQXLBLOBStream S(Notes(), bmReadWrite);
    S.SetSize(S.GetSize());
  }
  EXPECT_EQ(Changes, 2);
  T->Cancel();
  // A stream freed without a change tells nobody.
  T->Edit();
  { TQXLBLOBStream S(Notes(), bmReadWrite); }
  EXPECT_EQ(Changes, 2);
  T->Cancel();
  EXPECT_EQ(Notes().AsString(), "second, longer content");
}

TEST_F(BLOBStreamTest, AStreamOutlivingItsRecordIsClosedInsteadOfReachingAFreedOne) {
  T->Edit();
  auto S = std::make_unique<TQXLBLOBStream>(Notes(), bmWrite);
  const std::string Text = "kept";
  S->Write(Text.data(), static_cast<std::int32_t>(Text.size()));
  // The post stores what the open writer holds.
  T->Post();
  EXPECT_EQ(S->BLOBStream(), nullptr);
  EXPECT_EQ(NativeCodeOf([&] { S->Write(Text.data(), 1); }), 10121);
  EXPECT_EQ(S->CompressedSize(), 0);
  S.reset();
  EXPECT_EQ(Notes().AsString(), "kept");
  // A cancel drops the writer's content.
  T->Edit();
  S = std::make_unique<TQXLBLOBStream>(Notes(), bmWrite);
  S->Write("gone", 4);
  T->Cancel();
  S.reset();
  EXPECT_EQ(Notes().AsString(), "kept");
}
