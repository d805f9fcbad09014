// The session components: the start-up's default session, looking sessions
// up by name, naming rules, activation with its tokens, temporary databases
// made for datasets and their reference counts, and the shut-down.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

class SessionComponentTest : public ::testing::Test {
protected:
  TQXLEngineScope Engine;
};

std::vector<std::string> DatabaseNamesInList() {
  std::vector<std::string> Names;
  DatabaseDataList().Find([&](const TQXLDatabaseData& D) {
    Names.push_back(D.DatabaseName());
    return false;
  });
  return Names;
}

}  // namespace

TEST(EngineStartUp, SetsUpTheProcessDatabasesAndAnInactiveDefaultSessionOnce) {
  EXPECT_FALSE(SessionListExists());
  FormEditorMode = true;
  {
    TQXLEngineScope Engine;
    EXPECT_FALSE(FormEditorMode);
    {
      TQXLEngineScope Nested;  // a second start-up does nothing, nor does its shut-down
    }
    ASSERT_TRUE(SessionListExists());
    EXPECT_EQ(DatabaseNamesInList(), (std::vector<std::string>{"MEMORY", "TEMP"}));
    ASSERT_EQ(SessionList().Count(), 1u);
    TQXLSession* Default = SessionList().GetSession(0);
    EXPECT_EQ(Default->SessionName(), "Default");
    EXPECT_TRUE(Default->IsDefault());
    EXPECT_FALSE(Default->Active());
    EXPECT_EQ(NativeCodeOf([] { SessionList().GetDefaultSessionManager(); }), 20007);
  }
  EXPECT_FALSE(SessionListExists());
  EXPECT_EQ(DatabaseDataList().Count(), 0u);
  EXPECT_EQ(NativeCodeOf([] { SessionList(); }), 20007);
}

TEST_F(SessionComponentTest, SessionsAreFoundByNameIgnoringCase) {
  TQXLSessionList& List = SessionList();
  EXPECT_EQ(List.FindSession(""), DefaultSession());
  EXPECT_EQ(List.GetSessionByName(""), DefaultSession());
  EXPECT_EQ(List.FindSession("default"), DefaultSession());
  EXPECT_EQ(List.FindSession("Other"), nullptr);
  EXPECT_EQ(Raised([&] { List.GetSessionByName("Other"); }).Message,
            "Invalid session name 'Other' - Native error: 20002");

  TQXLSession* Other = List.OpenSession("Other");
  EXPECT_EQ(List.OpenSession("OTHER"), Other);
  EXPECT_TRUE(Other->Active());
  EXPECT_FALSE(Other->IsDefault());
  std::vector<std::string> Names;
  List.GetSessionNames(Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"Default", "Other"}));
}

TEST_F(SessionComponentTest, NamingRules) {
  TQXLSession Mine;
  Mine.Name = "Mine";
  EXPECT_EQ(MessageOf([&] { Mine.SetSessionName("DEFAULT"); }), "Mine: Duplicate session name 'DEFAULT'");
  EXPECT_EQ(MessageOf([&] { Mine.Open(); }), "Mine: Session name missing");
  EXPECT_FALSE(Mine.Active());
  Mine.SetSessionName("Mine");
  Mine.Open();
  EXPECT_EQ(MessageOf([&] { Mine.SetSessionName("Yours"); }),
            "Mine: Cannot perform this operation on an active session");
  EXPECT_EQ(MessageOf([&] { Mine.SetAutoSessionName(true); }),
            "Mine: Cannot perform this operation on an active session");
  Mine.Close();
  EXPECT_EQ(Mine.SessionName(), "Mine");
}

TEST_F(SessionComponentTest, AutomaticNamesAreNumberedAndFollowTheComponentName) {
  TComponent Form;
  TQXLSession First(&Form);
  First.Name = "Session1";
  First.SetAutoSessionName(true);
  EXPECT_EQ(First.SessionName(), "Session1_1");
  EXPECT_EQ(MessageOf([&] { First.SetSessionName("Manual"); }),
            "Session1: Cannot modify SessionName while AutoSessionName is enabled");
  First.SetName("Main");
  EXPECT_EQ(First.SessionName(), "Main_1");
  // A database made on the same form joins the form's automatic session.
  TQXLDatabase Db(&Form);
  EXPECT_EQ(Db.Session(), &First);

  EXPECT_THROW(TQXLSession Second(&Form), EDatabaseError);
  TComponent OtherForm;
  TQXLSession Third(&OtherForm);
  Third.Name = "Session1";
  Third.SetAutoSessionName(true);
  EXPECT_EQ(Third.SessionName(), "Session1_2");
  First.SetAutoSessionName(false);
  TQXLSession Fourth(&Form);
  Fourth.Name = "S";
  EXPECT_EQ(MessageOf([&] { Fourth.SetAutoSessionName(true); }),
            "S: Cannot enable AutoSessionName property with more than one session on a form or data-module");
}

TEST_F(SessionComponentTest, ActivationGivesTokensAndTheDefaultSessionComesFirst) {
  TQXLSession* Default = DefaultSession();
  int Startups = 0;
  Default->OnStartup = [&](TQXLSession&) { ++Startups; };
  TQXLSession* Other = SessionList().OpenSession("Other");
  EXPECT_TRUE(Default->Active());
  EXPECT_EQ(Startups, 1);
  EXPECT_EQ(SessionList().CurrentSession(), Default);
  Other->LockSession();
  EXPECT_EQ(SessionList().CurrentSession(), Other);
  // The lock is re-entrant for its thread.
  Default->LockSession();
  EXPECT_EQ(SessionList().CurrentSession(), Default);
  Default->UnlockSession();
  Other->UnlockSession();
  ASSERT_NE(Other->Handle(), nullptr);
  EXPECT_NE(Other->Handle(), Default->Handle());
  Other->Close();
  EXPECT_EQ(SessionList().CurrentSession(), Default);
}

TEST_F(SessionComponentTest, OpenDatabaseMakesACountedTemporaryDatabase) {
  TQXLSession* Session = DefaultSession();
  TQXLDatabase* Memory = Session->OpenDatabase("MEMORY");
  EXPECT_TRUE(Memory->Temporary());
  EXPECT_TRUE(Memory->SilentMode);
  EXPECT_TRUE(Memory->Connected());
  EXPECT_EQ(Session->OpenDatabase("memory"), Memory);
  EXPECT_EQ(Memory->RefCount(), 2);
  Session->CloseDatabase(Memory);
  EXPECT_EQ(Memory->RefCount(), 1);

  // Without kept connections the last release frees it.
  Session->KeepConnections = false;
  TQXLDatabase* Temp = Session->OpenDatabase("TEMP");
  EXPECT_FALSE(Temp->KeepConnection());
  EXPECT_EQ(Session->DatabaseCount(), 2u);
  Session->CloseDatabase(Temp);
  EXPECT_EQ(Session->FindDatabase("TEMP"), nullptr);

  // A name that is neither a process database nor a file opens nothing,
  // and the database made for it goes again.
  EXPECT_ANY_THROW(Session->OpenDatabase("Nowhere"));
  EXPECT_EQ(Session->FindDatabase("Nowhere"), nullptr);

  Session->CloseDatabase(Memory);
  Session->DropConnections();
  EXPECT_EQ(Session->DatabaseCount(), 0u);
}

TEST_F(SessionComponentTest, TableNamesOfAProcessDatabase) {
  std::vector<std::string> Names{"stale"};
  DefaultSession()->GetTableNames("MEMORY", Names);
  EXPECT_TRUE(Names.empty());
  EXPECT_EQ(DefaultSession()->FindDatabase("MEMORY")->RefCount(), 0);
}

TEST_F(SessionComponentTest, ClosingASessionFreesItsTemporaryDatabasesAndClosesTheOthers) {
  TQXLSession* Other = SessionList().OpenSession("Other");
  TQXLDatabase Own(nullptr, Other);
  Own.SetDatabaseName("Own");
  Own.SetTemporary(true);
  Own.SetDatabaseName("MEMORY");
  Own.Open();
  Other->OpenDatabase("TEMP");
  std::vector<std::string> Events;
  Other->OnDBNotify = [&](TQXLDatabaseEvent E, TQXLDatabase* D) {
    Events.push_back(std::to_string(static_cast<int>(E)) + D->DatabaseName());
  };
  Other->Close();
  EXPECT_FALSE(Own.Connected());
  EXPECT_EQ(Other->DatabaseCount(), 1u);
  const std::string Close = std::to_string(static_cast<int>(TQXLDatabaseEvent::dbClose));
  const std::string Remove = std::to_string(static_cast<int>(TQXLDatabaseEvent::dbRemove));
  EXPECT_EQ(Events, (std::vector<std::string>{Close + "TEMP", Remove + "TEMP", Close + "MEMORY"}));
  Other->OnDBNotify = nullptr;
}

TEST_F(SessionComponentTest, DatabaseNamesAreUniqueWithinASession) {
  TQXLDatabase First, Second;
  First.Name = "First";
  Second.Name = "Second";
  First.SetDatabaseName("Db");
  EXPECT_EQ(MessageOf([&] { Second.SetDatabaseName("DB"); }), "Second: Duplicate database name 'DB'");
  First.HandleShared = Second.HandleShared = true;
  Second.SetDatabaseName("DB");
  std::vector<std::string> Names;
  DefaultSession()->GetDatabaseNames(Names);
  EXPECT_EQ(Names.size(), 1u);

  // An unused temporary database gives way to the new name.
  DefaultSession()->OpenDatabase("MEMORY");
  DefaultSession()->CloseDatabase(DefaultSession()->FindDatabase("MEMORY"));
  TQXLDatabase Third;
  Third.SetDatabaseName("Memory");
  EXPECT_EQ(DefaultSession()->FindDatabase("MEMORY"), &Third);
}
