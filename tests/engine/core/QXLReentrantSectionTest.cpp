// The re-entrant section: its owner leaves it entirely however often it
// entered, other threads get in meanwhile, and the owner gets back in as
// deep as it was; a thread that does not hold it leaves nothing.
#include "engine/core/QXLReentrantSection.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

using namespace qxl;

namespace {

using qxl::TQXLReentrantSection;

// Whether another thread can enter the section now (and leaves it at once).
bool OtherThreadGetsIn(TQXLReentrantSection& Section) {
  return std::async(std::launch::async, [&] {
           if (!Section.try_lock()) return false;
           Section.unlock();
           return true;
         }).get();
}

TEST(ReentrantSection, TheOwnerLeavesEveryLevelAndComesBackAsDeep) {
  TQXLReentrantSection Section;
  std::lock_guard Outer(Section);
  std::lock_guard Inner(Section);
  EXPECT_FALSE(OtherThreadGetsIn(Section));
  {
    TQXLReentrantSection::TLeave Leave(Section);
    EXPECT_TRUE(OtherThreadGetsIn(Section));
    // Another thread may hold it and enter it deeper while the owner is out.
    std::promise<void> Entered, Go;
    std::thread Holder([&] {
      std::lock_guard A(Section);
      std::lock_guard B(Section);
      Entered.set_value();
      Go.get_future().wait();
    });
    Entered.get_future().wait();
    {
      // Not the holder: nothing to leave.
      TQXLReentrantSection::TLeave Nothing(Section);
      EXPECT_FALSE(Section.try_lock());
    }
    Go.set_value();
    Holder.join();
  }
  // Back at two levels: one unlock leaves it held.
  Section.unlock();
  EXPECT_FALSE(OtherThreadGetsIn(Section));
  Section.lock();
}

}  // namespace
