#pragma once
// EXPECT_THROW_MSG(statement, type, message): the statement throws `type`
// (or a type derived from it) carrying exactly `message`.
#include <gtest/gtest.h>

#include <string>

#define EXPECT_THROW_MSG(statement, type, message)                               \
  do {                                                                           \
    try {                                                                        \
      statement;                                                                 \
      ADD_FAILURE() << "no exception from: " #statement;                         \
    } catch (const type& e_) {                                                   \
      EXPECT_EQ(std::string(e_.what()), std::string(message)) << #statement;     \
    }                                                                            \
  } while (0)
