// A session that waits for a table lock held by another session of the same
// process waits outside the database's lock, so that the other session's
// thread can close its table meanwhile and the waiter is then granted.
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

// Runs Action at the first pause of a wait, on the waiting thread.
class TFirstPauseClock : public platform::FakeClock {
public:
  explicit TFirstPauseClock(std::function<void()> Action) : FAction(std::move(Action)) {}
  void Sleep(std::uint32_t ms) override {
    platform::FakeClock::Sleep(ms);
    if (SleepCount() == 1) FAction();
  }

private:
  std::function<void()> FAction;
};

class DiskTableLockWaitTest : public TwoUsersNotesFixture {};

TEST_F(DiskTableLockWaitTest, AnOpenWaitingForTheTableLetsAnotherThreadCloseItsExclusiveCursor) {
  FakeSession Second;
  Second.FMultiUser = true;
  A->Database->ConnectSession(&Second);
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor Holder("Notes"), Waiter("Notes");
  Open(Table, Holder, *A, true);
  Waiter.FSession = &Second;
  Waiter.Table = &Table;

  std::optional<std::thread> Closer;
  std::promise<void> ClosedPromise;
  bool ClosedDuringTheWait = false;
  TFirstPauseClock Clock([&] {
    Closer.emplace([&] {
      Close(Table, Holder);
      ClosedPromise.set_value();
    });
    ClosedDuringTheWait = ClosedPromise.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  });
  platform::ScopedClock UseClock(Clock);
  const std::int32_t Code = NativeCodeOf([&] { Table.OpenTable(&Waiter); });
  if (Closer) Closer->join();
  EXPECT_TRUE(ClosedDuringTheWait) << "the close waited for the waiter";
  EXPECT_EQ(Code, 0) << "the open was refused although the lock was given back";
  if (Code == 0) Table.CloseTable(&Waiter);
  A->Database->DisconnectSession(&Second);
}

}  // namespace
}  // namespace disktable
