// The parts of a reading error in one fixed form (source, line, text read,
// what was expected), so that the tables of bad inputs do not depend on how
// the library words the whole message; and the check that a call fails with
// an error whose text holds a given part.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "qev/errors.h"

namespace qev::events_testing {

inline std::string ErrorText(const Error& error) {
  const auto* reading = dynamic_cast<const ReadingError*>(&error);
  if (reading == nullptr) return error.what();
  std::string text = reading->source();
  if (reading->line() > 0) text += ", line " + std::to_string(reading->line());
  return text + ": read \"" + reading->text() + "\", expected " + reading->expected();
}

template <typename Kind = Error, typename Call>
void ExpectErrorWith(const std::string& part, Call&& call) {
  try {
    call();
    ADD_FAILURE() << "no error; expected one with: " << part;
  } catch (const Kind& error) {
    EXPECT_NE(ErrorText(error).find(part), std::string::npos) << ErrorText(error);
  }
}

}  // namespace qev::events_testing
