#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

int main(int argc, char **argv) {
  quorel::test::InitTestEnvironment();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
