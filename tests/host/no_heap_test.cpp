// The sequence works in fixed buffers: a whole run, from WinMain on, must not
// touch the heap.
// malloc is interposed here (operator new goes through it), and allocations
// made inside the stand-in's Win32 calls are not the program's, so they are
// not counted.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "sample_installation.h"
#include "standin.h"

extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *__libc_realloc(void *block, std::size_t size);

namespace {
bool counting = false;
int programAllocations = 0;

void Count() {
  if (counting && !standin::InPlatformCall()) ++programAllocations;
}
}  // namespace

extern "C" void *malloc(std::size_t size) {
  Count();
  return __libc_malloc(size);
}
extern "C" void *calloc(std::size_t count, std::size_t size) {
  Count();
  return __libc_calloc(count, size);
}
extern "C" void *realloc(void *block, std::size_t size) {
  Count();
  return __libc_realloc(block, size);
}

namespace {

int AllocationsDuring(void (*work)()) {
  programAllocations = 0;
  counting = true;
  work();
  counting = false;
  return programAllocations;
}

TEST(NoHeap, TheCounterSeesAnAllocation) {
  EXPECT_EQ(1, AllocationsDuring([] { std::free(std::malloc(16)); }));
}

TEST(NoHeap, WholeRunsAllocateNothing) {
  const std::vector<std::vector<int>> answerSets = {
      {IDYES, IDYES, IDOK}, {IDYES, IDNO, IDOK}, {IDNO}};
  for (const std::vector<int> &answers : answerSets) {
    SeedSampleInstallation();
    standin::ScriptAnswers(answers);
    const int allocations =
        AllocationsDuring([] { WinMain(nullptr, nullptr, (LPSTR) "", 1); });
    // Read by the benchmark script.
    std::printf("heap allocations during a run with %zu answers: %d\n",
                answers.size(), allocations);
    EXPECT_EQ(0, allocations);
    EXPECT_EQ(answers.size(), standin::Dialogs().size());
  }
}

}  // namespace
