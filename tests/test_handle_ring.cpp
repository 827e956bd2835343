// The handle registry's ring: insertion before the head, lookups that rotate
// the head, and removal of head and non-head entries; handles drawn anew on
// a collision.
#include <gtest/gtest.h>

#include <vector>

#include "api/CSdkChain.h"
#include "api/CTRing.h"

namespace quorel {
namespace {

using Ring = CTRing<int>;
int KeyOf(const int &v) {
  return v;
}

// The ring's contents in circular order starting at the head, checked to be
// consistent in both directions.
std::vector<int> Order(const Ring &ring) {
  std::vector<int> forward;
  const Ring::Node *node = ring.head();
  if (node == nullptr) return forward;
  do {
    forward.push_back(node->data);
    EXPECT_EQ(node->next->prev, node);
    node = node->next;
  } while (node != ring.head());
  EXPECT_EQ(static_cast<int>(forward.size()), ring.count());
  return forward;
}

// Values the forced handle formula hands out, in order.
std::vector<uint32_t> g_draws;
size_t g_drawIndex = 0;
uint32_t ScriptedDraw() {
  return g_drawIndex < g_draws.size() ? g_draws[g_drawIndex++] : 77;
}

// Two live cameras with one handle would leave one unreachable: a value that
// is live (or 0) is drawn again, and the formula's next value is taken.
TEST(HandleRegistry, CollidingOrZeroValuesAreDrawnAgain) {
  CSdkChain &chain = CSdkChain::Instance();
  g_draws = {5, 5, 0, 5, 9};
  g_drawIndex = 0;
  CSdkChain::DrawFn previous = chain.SetDrawForTesting(ScriptedDraw);
  const int32_t first = chain.Register(nullptr);
  const int32_t second = chain.Register(nullptr);
  chain.SetDrawForTesting(previous);
  EXPECT_EQ(first, 5);
  EXPECT_EQ(second, 9);
  EXPECT_EQ(g_drawIndex, g_draws.size());
  EXPECT_EQ(chain.Release(first), 1);
  EXPECT_EQ(chain.Release(second), 1);
  EXPECT_EQ(chain.Release(first), 0);
}

TEST(HandleRing, AddLinksBeforeHeadAndBecomesHead) {
  Ring ring;
  EXPECT_TRUE(Order(ring).empty());
  ring.Add(1);
  EXPECT_EQ(Order(ring), (std::vector<int>{1}));
  ring.Add(2);
  ring.Add(3);
  // Each new node sits between the old head's predecessor and the old head.
  EXPECT_EQ(Order(ring), (std::vector<int>{3, 2, 1}));
}

TEST(HandleRing, FindRotatesHeadOntoFoundNode) {
  Ring ring;
  for (int v : {1, 2, 3}) ring.Add(v);  // order 3, 2, 1
  EXPECT_TRUE(ring.Find(1, KeyOf));
  EXPECT_EQ(ring.head()->data, 1);
  EXPECT_EQ(Order(ring), (std::vector<int>{1, 3, 2}));
}

TEST(HandleRing, FailedFindKeepsOrderAndStopsOnPredecessorOfOldHead) {
  Ring ring;
  for (int v : {1, 2, 3}) ring.Add(v);  // head 3, then 2, 1
  const int predecessor = ring.head()->prev->data;
  EXPECT_FALSE(ring.Find(99, KeyOf));
  EXPECT_EQ(ring.count(), 3);
  EXPECT_EQ(ring.head()->data, predecessor);
  // Same circular order, merely rotated.
  EXPECT_EQ(Order(ring), (std::vector<int>{1, 3, 2}));
  EXPECT_TRUE(ring.Find(2, KeyOf));
  EXPECT_EQ(ring.head()->data, 2);
}

TEST(HandleRing, RemoveHeadAndNonHead) {
  Ring ring;
  for (int v : {1, 2, 3, 4}) ring.Add(v);  // 4, 3, 2, 1
  EXPECT_TRUE(ring.Remove(4, KeyOf));      // the head itself
  EXPECT_EQ(Order(ring), (std::vector<int>{3, 2, 1}));
  EXPECT_TRUE(ring.Remove(2, KeyOf));  // a node behind the head
  EXPECT_EQ(Order(ring), (std::vector<int>{1, 3}));
  EXPECT_FALSE(ring.Remove(2, KeyOf));
  EXPECT_EQ(ring.count(), 2);
  EXPECT_TRUE(ring.Remove(1, KeyOf));
  EXPECT_TRUE(ring.Remove(3, KeyOf));
  EXPECT_EQ(ring.head(), nullptr);
  EXPECT_EQ(ring.count(), 0);
  EXPECT_FALSE(ring.RemoveHead());
  EXPECT_FALSE(ring.Find(3, KeyOf));
}

TEST(HandleRing, RemoveAllEmptiesTheRing) {
  Ring ring;
  for (int v = 0; v < 50; ++v) ring.Add(v);
  ring.RemoveAll();
  EXPECT_EQ(ring.count(), 0);
  EXPECT_EQ(ring.head(), nullptr);
  ring.Add(7);  // usable again
  EXPECT_TRUE(ring.Find(7, KeyOf));
}

}  // namespace
}  // namespace quorel
