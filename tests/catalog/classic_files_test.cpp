// The readers of the classic catalog files: what they refuse, each error with
// its source, line, text and expectation (or the event it names), and what
// the whole-file readers return beside the part.
#include "qev/classic_files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <system_error>
#include <variant>

#include "qev/errors.h"
#include "textio/reader.h"

namespace qev {
namespace {

using Layout = std::variant<ExtremeLayout, CompleteLayout>;

constexpr std::size_t kNoFailure = std::string::npos;

// A stream buffer that gives the first `bytes` of a text and then fails as a
// disk or a network file system can: the read throws, as the file buffers do.
class FailingBuffer : public std::stringbuf {
 public:
  FailingBuffer(const std::string& text, std::size_t bytes)
      : std::stringbuf(text.substr(0, bytes)), fails_(bytes != kNoFailure) {}

 protected:
  int_type underflow() override {
    const int_type c = std::stringbuf::underflow();
    if (c != traits_type::eof() || !fails_) return c;
    throw std::ios_base::failure("read", std::error_code(EIO, std::generic_category()));
  }

 private:
  bool fails_;
};

void Read(const Layout& layout, const std::string& text, float largest, std::size_t failAfter) {
  FailingBuffer buffer(text, failAfter);
  std::istream in(&buffer);
  if (const auto* extreme = std::get_if<ExtremeLayout>(&layout)) {
    ReadExtremeFile(in, "f.dat", *extreme, largest);
  } else {
    ReadCompleteFile(in, "f.dat", std::get<CompleteLayout>(layout), largest);
  }
}

TEST(ClassicFiles, EveryErrorNamesTheLineAndTheTextOrTheEvent) {
  constexpr auto E1 = ExtremeLayout::PerEventSd;
  constexpr auto E2 = ExtremeLayout::CommonSd;
  constexpr auto C1 = CompleteLayout::PerEventSd;
  constexpr auto C2 = CompleteLayout::CommonSd;
  constexpr auto C3 = CompleteLayout::Grouped;
  const std::string in32 = " within the 32-bit integers";
  std::string manyGroups = "1960 1 1\n2000 12 31\n4.0\n0.2\n";
  for (int i = 0; i < 3; ++i) manyGroups += "1e9 4.5\n";  // the third group passes 2^31 - 1
  struct Case {
    const char* what;
    Layout layout;
    std::string file;
    long line;
    std::string text;      // empty: a catalog error
    std::string expected;  // or the event it names
    float largest = kAnyMagnitude;
    std::size_t failAfter = kNoFailure;  // the stream fails after so many bytes
  };
  const std::string cut = "the end of the file after ";
  const std::string header = "1960 1 1\n2000 12 31\n4.0\n0.2\n";
  const Case cases[] = {
      {"malformed value", E1, "1900 1 1\n1990 0 0\n1905 5 1 6.x 0.2\n", 3, "\"6.x\"",
       "a real number"},
      {"header cut short", C2, "1960 1 1\n2000 12 31\n", 2, "", "a real number"},
      {"extreme magnitude", E1, "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.25\n1906 1 1 3e7 0.2\n", 4,
       "magnitude 3e+07", "the value times 100" + in32},
      {"extreme SD", E1, "1900 1 1\n1990 0 0\n1905 5 1 6.1 5e8\n", 3, "standard deviation 5e+08",
       "the value times 100" + in32},
      {"extreme header SD", E2, "1900 1 1\n1990 0 0\n5e8\n1905 5 1 6.1\n", 3,
       "standard deviation 5e+08", "the value times 100" + in32},
      {"negative extreme header SD", E2, "1600 1 1\n1899 12 31\n-0.3\n", 3,
       "standard deviation -0.3", "a standard deviation not below 0"},
      {"extreme year", E1, "1900 1 1\n1990 0 0\n3e9 5 1 6.1 0.2\n", 3, "year 3e+09",
       "its integer part" + in32},
      {"extreme header year", E1, "-3e9 1 1\n1990 0 0\n", 1, "start year -3e+09",
       "its integer part" + in32},
      {"extreme interval", E1, "-3000000 1 1\n1990 0 0\n1905 5 1 6.1 0.2\n", 3,
       "time since the previous event in thousandths of a year 3.001904e+09", "a value" + in32},
      {"extreme interval closed by the end", E1, "1900 1 1\n3000000 0 0\n1905 5 1 6.1 0.2\n", 2,
       "time from the last event to the end of the period in thousandths of a year 2.998101e+09",
       "a value" + in32},
      {"first event on the start date", E1, "1900 1 1\n1990 0 0\n1900 1 1 6.0 0.2\n", 3, "", "1"},
      {"two events on one day", E1, "1900 1 1\n1990 0 0\n1910 3 3 6.0 0.2\n1910 3 3 5 0.2\n", 4, "",
       "2"},
      {"end before the last event", E1,
       "1900 1 1\n1990 12 30\n1910 3 3 6.0 0.2\n1990 12 31 5.0 0.2\n", 2, "", "2"},
      {"complete magnitude", C2, "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n-3e7\n", 6,
       "magnitude -3e+07", "the value times 100" + in32},
      {"complete per-event SD", C1, "1960 1 1\n2000 12 31\n4.0\n4.5 3e7\n", 4,
       "standard deviation 3e+07", "the value times 100" + in32},
      {"negative per-event SD", C1, "1960 1 1\n2000 12 31\n4.0\n4.5 0.1\n4.6 -0.2\n", 5,
       "standard deviation -0.2", "a standard deviation not below 0"},
      {"complete header SD", C3, "1960 1 1\n2000 12 31\n4.0\n3e7\n1 4.5\n", 4,
       "standard deviation 3e+07", "the value times 100" + in32},
      {"frequency", C3, "1960 1 1\n2000 12 31\n4.0\n0.2\n3e9 4.5\n", 5, "frequency 3e+09",
       "its integer part" + in32},
      {"negative frequency", C3, "1960 1 1\n2000 12 31\n4.0\n0.2\n-3 4.5\n", 5, "frequency -3",
       "a frequency not below 0"},
      {"sum of frequencies", C3, manyGroups, 7, "number of earthquakes 3e+09", "a value" + in32},
      {"complete end year", C2, "1960 1 1\n5e9 12 31\n4.0\n0.2\n4.5\n", 2, "end year 5e+09",
       "its integer part" + in32},
      {"part ending before it starts", C2, "1950 0 0\n1949 0 0\n4.0\n0.2\n7.0\n", 5, "", "0"},
      {"part without data ending before it starts", C2, "1950 0 0\n1949 0 0\n4.0\n0.2\n", 2,
       "end 1949/12/31", "an end of the part not before its start 1950/1/1"},
      {"last event cut short", E1, "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.2\n1940 5 5 7.5\n\n", 4,
       cut + "4 of 5 values", "year, month, day, magnitude and SD on an event line"},
      {"last event of layout 2 cut short", E2, "1900 1 1\n1990 0 0\n0.3\n1940 5\n5", 5,
       cut + "3 of 4 values", "year, month, day and magnitude on an event line"},
      {"last data line cut short", C1, "1960 1 1\n2000 12 31\n4.0\n4.6 0.1\n6.9", 5,
       cut + "1 of 2 values", "magnitude and SD on a data line"},
      {"last group cut short", C3, header + "3 4.5\n2,", 6, cut + "1 of 2 values",
       "frequency and magnitude on a data line"},
      {"fractional frequency", C3, header + "2.9 4.5\n", 5, "frequency 2.9",
       "a whole number of earthquakes"},
      {"extreme magnitude above the limit", E1, "1900 1 1\n1990 0 0\n1905 5 1 100 0.2\n", 3,
       "magnitude 100", "a magnitude not above 10", 10.0f},
      {"complete magnitude above the limit", C2, header + "12 \n12.5\n", 6, "magnitude 12.5",
       "a magnitude not above 12", 12.0f},
      {"threshold above the limit", C2, "1960 1 1\n2000 12 31\n10.5\n", 3,
       "threshold magnitude 10.5", "a threshold magnitude not above 10", 10.0f},
      {"stream failing in a header", C2, header, 2, "a failure of the input: Input/output error",
       "a line that can be read", kAnyMagnitude, 10},
      {"stream failing in the events", E1, "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.2\n1940 5 5 7\n", 4,
       "a failure of the input: Input/output error", "a line that can be read", kAnyMagnitude, 40},
      {"line beyond the longest", C2, header + std::string(kLongestLine + 1, ' ') + "\n", 5,
       "a line of more than 4194304 characters", "at most 4194304 characters on a line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      Read(c.layout, c.file, c.largest, c.failAfter);
      ADD_FAILURE() << "read without an error";
    } catch (const CatalogError& error) {
      EXPECT_TRUE(c.text.empty()) << error.what();
      EXPECT_EQ(error.source(), "f.dat");
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(std::to_string(error.event()), c.expected);
    } catch (const ReadingError& error) {
      EXPECT_EQ(error.source(), "f.dat");
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(error.text(), c.text);
      EXPECT_EQ(error.expected(), c.expected);
      EXPECT_EQ(dynamic_cast<const EndOfInput*>(&error) != nullptr, c.text.empty());
    }
  }
}

// What the classic summaries echo beside the part: the completed dates, the
// values as read, and the rows more than 0.01 below the threshold.
TEST(ClassicFiles, WholeFilesReturnTheEchoBesideThePart) {
  std::istringstream extreme("1899 0 0\n1990 0 0\n1900 0 5 5.0 0.005\n0 3 0 5.2 0.2\n");
  const ExtremeFile e = ReadExtremeFile(extreme, "e", ExtremeLayout::PerEventSd);
  EXPECT_EQ(e.header.end.shown_month, 12);
  EXPECT_EQ(e.header.end.shown_day, 31);
  ASSERT_EQ(e.lines.size(), 2u);
  EXPECT_EQ(e.lines[0].date.shown_month, 0);  // zeros of the first event stay
  EXPECT_EQ(e.lines[0].sd, 0.01f);            // raised to the floor
  EXPECT_EQ(e.lines[1].date.shown_year, 1900);
  EXPECT_EQ(e.lines[1].date.shown_day, 5);
  EXPECT_EQ(e.part.events[1].time, DecimalYear(1900, 3, 5));

  std::istringstream complete("1960 1 1\n2000 12 31\n4.0\n0.2\n4 4.5\n3 3.98\n2 3.99\n1 4.1\n");
  const CompleteFile c = ReadCompleteFile(complete, "c", CompleteLayout::Grouped);
  EXPECT_EQ(c.header.threshold, 4.0f);
  EXPECT_EQ(c.part.sd, 0.2f);
  EXPECT_EQ(c.below_threshold, (std::vector<std::size_t>{1}));  // 3.99 is not 0.01 below
  ASSERT_EQ(c.part.rows.size(), 4u);
  EXPECT_EQ(c.part.rows[1].frequency, 3);
  EXPECT_EQ(c.part.rows[1].sd, 0.2f);
}

}  // namespace
}  // namespace qev
