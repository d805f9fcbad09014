// The progress window's showing rule, the silent default, and the scripted
// answers the engine's questions receive.
#include <gtest/gtest.h>

#include "engine/datasets/QXLWaitForm.h"
#include "platform/Clock.h"
#include "tests/support/ScriptedUserInterface.h"

using namespace qxl;
using Lines = std::vector<std::string>;

TEST(QXLWaitForm, AnOperationPastHalfWayWithinHalfASecondIsNeverShown) {
  platform::FakeClock clock(1000);
  platform::ScopedClock use(clock);
  ScriptedUserInterface ui;
  TQXLWaitForm form;
  form.Show("Copy Table...");
  clock.Advance(499);
  form.SetPercent(60);
  clock.Advance(100);
  form.SetPercent(90);
  form.ProcessMessages();
  EXPECT_FALSE(form.IsShown());
  form.Close();
  EXPECT_TRUE(ui.Log.empty());
}

TEST(QXLWaitForm, AnOperationAtMostHalfDoneAfterHalfASecondIsShownUntilClosed) {
  platform::FakeClock clock(0xFFFFFF00u);  // the tick count wraps during the operation
  platform::ScopedClock use(clock);
  ScriptedUserInterface ui;
  TQXLWaitForm form;
  form.Show("Restructure Table...");
  form.SetPercent(50);
  clock.Advance(500);
  form.SetPercent(80);  // the bar stood at 50 when the time ran out
  form.ProcessMessages();
  form.SetPercent(100);
  EXPECT_TRUE(form.IsShown());
  form.Close();
  EXPECT_FALSE(form.IsShown());
  EXPECT_EQ(ui.Log, (Lines{"show Restructure Table... 50", "percent 80", "pump", "percent 100", "hide"}));
}

TEST(QXLWaitForm, ClosedBeforeTheTimeRunsOutItIsNeverShown) {
  platform::FakeClock clock;
  platform::ScopedClock use(clock);
  ScriptedUserInterface ui;
  TQXLWaitForm form;
  form.Show("Export Table...");
  form.Close();
  clock.Advance(1000);
  form.SetPercent(10);
  EXPECT_FALSE(form.IsShown());
  EXPECT_TRUE(form.IsClosed());
  EXPECT_TRUE(ui.Log.empty());
}

TEST(QXLWaitForm, AbortIsReadOnlyFromAShownWindowAndStaysRead) {
  platform::FakeClock clock;
  platform::ScopedClock use(clock);
  ScriptedUserInterface ui;
  ui.AbortPressed = true;
  TQXLWaitForm form;
  form.Show("Batch Moving...");
  EXPECT_FALSE(form.Terminated());
  clock.Advance(600);
  form.ProcessMessages();
  EXPECT_TRUE(form.Terminated());
  ui.AbortPressed = false;
  EXPECT_TRUE(form.Terminated());
}

TEST(QXLUserInterface, TheDefaultAnswersAsASilentDatabase) {
  platform::FakeClock clock;
  platform::ScopedClock use(clock);
  TQXLUserInterface& ui = UserInterface();
  EXPECT_FALSE(ui.Confirm("Repair the database?"));
  std::string password = "kept";
  EXPECT_FALSE(ui.AskPassword("", password));
  EXPECT_EQ(password, "kept");
  TQXLWaitForm form(ui);
  form.Show("Wait...");
  clock.Advance(1000);
  form.SetPercent(1);
  EXPECT_FALSE(form.Terminated());
}

TEST(QXLUserInterface, TheScriptedDoubleAnswersInOrderAndRecords) {
  ScriptedUserInterface ui;
  ui.Answers = {true, false};
  ui.Passwords = {std::string("Rk#4w%"), std::nullopt};
  TQXLUserInterface& in = UserInterface();
  EXPECT_TRUE(in.Confirm("q1"));
  EXPECT_FALSE(in.Confirm("q2"));
  std::string password;
  EXPECT_TRUE(in.AskPassword("db", password));
  EXPECT_EQ(password, "Rk#4w%");
  EXPECT_FALSE(in.AskPassword("db", password));
  EXPECT_EQ(password, "Rk#4w%");
  in.Warn("careful");
  EXPECT_EQ(ui.Log, (Lines{"confirm q1", "confirm q2", "password db", "password db", "warn careful"}));
}
