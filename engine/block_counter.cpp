#include "engine/block_counter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/counting_choice.h"
#include "platform/memory_room.h"
#include "platform/platform.h"
#include "platform/processor_count.h"
#include "runtime/random_jump.h"

namespace dartcirc {

namespace {

// Blocks that may be counted ahead of the one handed out: memory stays the same
// whatever the trial count, and a slow reader of the output holds the workers back.
constexpr std::int64_t WindowBlocks = 1024;
// A worker that finds the window full sleeps until there is room for this many
// blocks, so that where the calling thread falls behind (a slow reader, a busy
// machine) a worker wakes once for a batch of blocks, not once for each block.
constexpr std::int64_t BatchBlocks = WindowBlocks / 4;
// Below this many blocks for each extra thread, starting it costs more than it saves.
constexpr std::int64_t BlocksPerWorker = 16;

struct Slot {
  std::atomic<std::int64_t> block{-1};  // the block whose tally is here
  BlockTally tally{};
};

// Shared by the calling thread and the workers. Every atomic access is sequentially
// consistent: a sleeper counts itself in before it looks at its condition, and a
// waker changes the condition before it looks at the count, so no wake-up is lost.
// The calling thread, after handing a block out, wakes no one while the workers'
// condition, room for a batch, is false: it looks at it after its change, as at
// the count, and nothing else makes it true (claims only take room, and stopping
// always wakes), so a worker that found no room is woken by the hand-out that
// makes it.
struct BlockQueue {
  std::uint32_t firstState;
  const BlockFilter& filter;
  std::int64_t blocks;
  BlockCounting counting;
  std::atomic<std::int64_t> nextToCount{0};
  std::atomic<std::int64_t> handedOut{0};
  std::atomic<bool> stopping{false};
  std::atomic<int> sleepers{0};
  std::mutex mutex{};
  std::condition_variable wake{};
  std::array<Slot, WindowBlocks> slots{};
};

void WakeSleepers(BlockQueue& queue) {
  if (queue.sleepers.load() == 0) return;
  { std::lock_guard<std::mutex> lock(queue.mutex); }
  queue.wake.notify_all();
}

template <class Condition>
void SleepUntil(BlockQueue& queue, Condition ready) {
  queue.sleepers.fetch_add(1);
  {
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.wake.wait(lock, ready);
  }
  queue.sleepers.fetch_sub(1);
}

bool WindowHasRoom(const BlockQueue& queue, std::int64_t block) {
  return block < queue.handedOut.load() + WindowBlocks;
}

bool WindowHasRoomForBatch(const BlockQueue& queue) {
  return WindowHasRoom(queue, queue.nextToCount.load() + BatchBlocks - 1);
}

// The next block to count, or -1 when all are taken or the window is full.
std::int64_t ClaimBlock(BlockQueue& queue) {
  std::int64_t block = queue.nextToCount.load();
  while (block < queue.blocks && WindowHasRoom(queue, block)) {
    if (queue.nextToCount.compare_exchange_weak(block, block + 1)) return block;
  }
  return -1;
}

// The steps of 2^9 n blocks, for n below 2^9, for each of the three 9-bit pieces of
// a block count below 2^27: a block's first state in three lookups, not in the 32
// squarings of StepsAhead, a good share of a block's work on the fastest paths.
constexpr auto BlockStepTables = [] {
  std::array<std::array<RandomSteps, 512>, 3> tables{};
  for (int piece = 0; piece < 3; ++piece) {
    for (std::uint64_t n = 0; n < 512; ++n) {
      tables[piece][n] = StepsAhead((n << (9 * piece)) * 4 * BlockSize);
    }
  }
  return tables;
}();

}  // namespace

RandomSteps StepsOfBlocks(std::int64_t blocks) {
  const auto n = static_cast<std::uint64_t>(blocks % GeneratorPeriodBlocks);
  static_assert(GeneratorPeriodBlocks <= std::int64_t{1} << 27);
  return ThenSteps(ThenSteps(BlockStepTables[0][n & 511], BlockStepTables[1][n >> 9 & 511]),
                   BlockStepTables[2][n >> 18]);
}

namespace {

void CountAndPublish(BlockQueue& queue, std::int64_t block) {
  const std::uint32_t state = Advance(queue.firstState, StepsOfBlocks(block));
  Slot& slot = queue.slots[block % WindowBlocks];
  slot.tally = CountBlock(queue.counting, state, queue.filter);
  slot.block.store(block);
  WakeSleepers(queue);
}

void Work(void* shared) {
  BlockQueue& queue = *static_cast<BlockQueue*>(shared);
  ResetFloatingPointUnit();  // the exact test depends on the control word
  while (!queue.stopping.load()) {
    const std::int64_t block = ClaimBlock(queue);
    if (block >= 0) {
      CountAndPublish(queue, block);
    } else if (queue.nextToCount.load() >= queue.blocks) {
      return;
    } else {
      SleepUntil(queue, [&] { return queue.stopping.load() || WindowHasRoomForBatch(queue); });
    }
  }
}

// Joins the workers however the calling thread leaves, after telling them to stop.
struct WorkerCrew {
  BlockQueue& queue;
  std::vector<Handle> threads;

  ~WorkerCrew() {
    queue.stopping.store(true);
    WakeSleepers(queue);
    for (Handle thread : threads) JoinThread(thread);
  }
};

// Reuse. The state before block k is the run's first state advanced 40,000 k steps.
// The generator runs through all 2^32 states, so the states before blocks k and
// k' are equal exactly when 2^32 divides 40,000 (k - k') = 2^6 x 625 (k - k'),
// that is when P = 2^26 divides k - k': block k draws what block k mod P drew and
// has its tally. A run of N > P blocks therefore counts blocks 0 to P - 1 only. The
// calling thread, which hands every tally out itself, keeps the inside count of
// each block below N - P (those that come back) as it hands it out, and then hands
// out block k >= P with what it kept for k mod P <= k - P < N - P. No other thread
// touches what is kept. An inside count is at most 10,000: it fits 16 bits.
static_assert(BlockSize <= 0xFFFF);

// Room for the inside counts that come back, or none when the run is no longer
// than a period, reuse is off or the memory cannot be had: then every block is
// counted. An address-space limit refuses the allocation; a control group's memory
// limit would let it pass and kill the run when its pages fill, minutes later. Taken
// with malloc, which only says no: the runtime reports the allocations it cannot do
// without.
using RepeatStore = std::unique_ptr<std::uint16_t[], void (*)(void*)>;
RepeatStore RoomForRepeats(std::int64_t blocks, std::int64_t period) {
  if (period <= 0 || blocks <= period) return {nullptr, std::free};
  const auto kept = static_cast<std::uint64_t>(std::min(period, blocks - period));
  if (kept * sizeof(std::uint16_t) > UsableMemoryRoom()) return {nullptr, std::free};
  return {static_cast<std::uint16_t*>(std::malloc(kept * sizeof(std::uint16_t))), std::free};
}

}  // namespace

EngineSetting MachineEngineSetting(const BlockFilter& filter, std::int64_t blocks) {
  const int threads = UsableProcessorCount();
  return {CountingForRun(filter, blocks / threads), threads};
}

void CountBlocksInOrder(std::uint32_t firstState, const BlockFilter& filter, std::int64_t blocks,
                        EngineSetting setting,
                        const std::function<void(const BlockTally&)>& onBlock) {
  const std::int64_t period = setting.periodBlocks;
  const RepeatStore kept = RoomForRepeats(blocks, period);
  const std::int64_t counted = kept ? period : blocks;
  const std::int64_t repeating = kept ? blocks - period : 0;  // the first blocks that come back
  BlockQueue queue{firstState, filter, counted, setting.counting};
  WorkerCrew crew{queue, {}};
  const std::int64_t workers =
      std::min<std::int64_t>(setting.threads - 1, counted / BlocksPerWorker);
  crew.threads.reserve(static_cast<std::size_t>(std::max<std::int64_t>(workers, 0)));  // a started thread is always joined
  for (Handle thread; std::ssize(crew.threads) < workers && StartThread(Work, &queue, &thread);) {
    crew.threads.push_back(thread);  // a thread that cannot start leaves the blocks to those there are
  }

  for (std::int64_t next = 0; next < counted; ++next) {
    const Slot& slot = queue.slots[next % WindowBlocks];
    while (slot.block.load() != next) {
      const std::int64_t block = ClaimBlock(queue);
      if (block >= 0) {
        CountAndPublish(queue, block);
      } else {
        SleepUntil(queue, [&] { return slot.block.load() == next; });
      }
    }
    const BlockTally tally = slot.tally;
    queue.handedOut.store(next + 1);
    if (WindowHasRoomForBatch(queue)) WakeSleepers(queue);
    if (next < repeating) kept[next] = static_cast<std::uint16_t>(tally.inside);
    onBlock(tally);
  }
  for (std::int64_t next = counted; next < blocks; ++next) onBlock({kept[next % period], 0});
}

}  // namespace dartcirc
