// The readers of the classic catalog files: what they refuse, each error with
// its source, line, text and expectation (or the event it names), and what
// the whole-file readers return beside the part.
#include "qev/classic_files.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <variant>

#include "harness/harness.h"
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

// The refused files of data/bad_classic_files.tsv, and two too large to keep there.
TEST(ClassicFiles, EveryErrorNamesTheLineAndTheTextOrTheEvent) {
  const std::map<std::string, Layout> layouts = {{"E1", ExtremeLayout::PerEventSd},
                                                 {"E2", ExtremeLayout::CommonSd},
                                                 {"C1", CompleteLayout::PerEventSd},
                                                 {"C2", CompleteLayout::CommonSd},
                                                 {"C3", CompleteLayout::Grouped}};
  auto rows = testing::TableRows(QEV_GOLDEN_DIR "/../catalog/data/bad_classic_files.tsv");
  const std::string header = "1960 1 1\\n2000 12 31\\n4.0\\n0.2\\n";
  // A megabyte-long number: beyond single precision, shown cut to 40 characters.
  rows.push_back({"megabyte-long number", "C2", "5", "\"4" + std::string(39, '0') + "...\"",
                  "a real number", "-", "-", header + "4" + std::string(1 << 20, '0') + "\\n"});
  rows.push_back({"line beyond the longest", "C2", "5", "a line of more than 4194304 characters",
                  "at most 4194304 characters on a line", "-", "-",
                  header + std::string(kLongestLine + 1, ' ') + "\\n"});
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    const float largest = row[5] == "-" ? kAnyMagnitude : std::stof(row[5]);
    const std::size_t failAfter = row[6] == "-" ? kNoFailure : std::stoul(row[6]);
    try {
      Read(layouts.at(row[1]), testing::Unescape(row[7]), largest, failAfter);
      ADD_FAILURE() << "read without an error";
    } catch (const CatalogError& error) {
      EXPECT_EQ(row[3], "-") << error.what();
      EXPECT_EQ(error.source(), "f.dat");
      EXPECT_EQ(error.line(), std::stol(row[2]));
      EXPECT_EQ(std::to_string(error.event()), row[4]);
    } catch (const ReadingError& error) {
      EXPECT_EQ(error.source(), "f.dat");
      EXPECT_EQ(error.line(), std::stol(row[2]));
      EXPECT_EQ(error.text(), row[3]);
      EXPECT_EQ(error.expected(), row[4]);
      EXPECT_EQ(dynamic_cast<const EndOfInput*>(&error), nullptr);
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
