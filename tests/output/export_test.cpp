#include "output/export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/file_access.h"
#include "base/hex.h"
#include "support/file_seams.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("orvo_export_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::string error;
    auto data = Read_Whole_File(path, error);
    return data ? *data : "<" + error + ">";
  }
  std::size_t Files_In_Folder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST_F(ExportTest, BinAndHexForms) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  struct Row {
    std::string image;
    bool as_hex;
    std::string file;
  };
  const Row rows[] = {
      {test::Hex_Bytes("0F85"), true, "0F85"},
      {test::Hex_Bytes("0F85"), false, test::Hex_Bytes("0F85")},
      {test::Hex_Bytes("B801000000"), true, "B801000000"},
      {all, false, all},  // bytes 80h-FFh unchanged
      {"", false, ""},
      {"", true, ""},
  };
  test::Recorder rec;
  for (const Row& row : rows) {
    const std::string path = Path("out.bin");
    EXPECT_TRUE(Export_CodeImage(row.image, path, row.as_hex));
    EXPECT_EQ(Read(path), row.file) << test::Spaced_Hex(row.image) << (row.as_hex ? " hex" : " bin");
  }
  EXPECT_TRUE(rec.Messages().empty());
  EXPECT_EQ(Files_In_Folder(), 1u);
}

TEST_F(ExportTest, CodeImageWithFrameAndNoTrailingBytesOfALongerFile) {
  CodeImage image;
  image.Append_Code(test::Hex_Bytes("B80F000000"));
  image.Wrap_StackFrame();
  const std::string path = Path("frame.hex");
  ASSERT_TRUE(Export_CodeImage(std::string(500, 'x'), path, false));
  ASSERT_TRUE(Export_CodeImage(image, path, true));
  EXPECT_EQ(Read(path), "5589E5535657B80F0000005F5E5B89EC5DC21000");
}

TEST_F(ExportTest, EachFailingStepGivesItsBoxAndThePreviousFileSurvives) {
  struct Row {
    FileStep step;
    int error;
    std::size_t boxes;  // open fails: write and close cannot run either and say so
  };
  const Row rows[] = {
      {FileStep::Open, EACCES, 3},
      {FileStep::Write, ENOSPC, 1},
      {FileStep::Close, EIO, 1},
      {FileStep::Replace, EXDEV, 1},
  };
  const std::string path = Path("keep.bin");
  for (const Row& row : rows) {
    ASSERT_TRUE(Export_CodeImage(std::string("old"), path, false));
    test::Recorder rec;
    Inject_FileFailure(row.step, row.error);
    EXPECT_FALSE(Export_CodeImage(test::Hex_Bytes("C3"), path, true));
    ASSERT_EQ(rec.Messages().size(), row.boxes) << std::strerror(row.error);
    EXPECT_EQ(rec.Messages()[0],
              (Message{Error_Description(row.error), MsgStyle::OkCritical, "Save: " + path}));
    for (const Message& m : rec.Messages()) EXPECT_EQ(m.title, "Save: " + path);
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(Files_In_Folder(), 1u) << "a temporary file was left behind";
  }
}

TEST_F(ExportTest, MissingFolderGivesBoxesAndNoFile) {
  test::Recorder rec;
  const std::string path = Path("no/such/folder.bin");
  EXPECT_FALSE(Export_CodeImage(std::string("\x90", 1), path, false));
  ASSERT_FALSE(rec.Messages().empty());
  for (const Message& m : rec.Messages()) {
    EXPECT_EQ(m.style, MsgStyle::OkCritical);
    EXPECT_EQ(m.title, "Save: " + path);
  }
  EXPECT_EQ(rec.Messages()[0].text, Error_Description(ENOENT));
  EXPECT_FALSE(fs::exists(path));
}

// The hex text made in pieces is the whole text, whatever the size, in pieces of at most 64 KiB;
// a refused piece ends it.
TEST(HexPieces, JoinToTheWholeTextAndStopWhenRefused) {
  for (const std::size_t size : {0, 1, 32767, 32768, 32769, 65536, 100000}) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<char>(i * 131 + 7);
    std::string joined;
    std::size_t pieces = 0;
    EXPECT_TRUE(Put_Hex_Text(image, [&](std::string_view piece) {
      EXPECT_LE(piece.size(), std::size_t{1} << 16);
      EXPECT_FALSE(piece.empty());
      joined.append(piece);
      ++pieces;
      return true;
    }));
    EXPECT_EQ(joined, Hex_Text(image)) << size;
    EXPECT_EQ(pieces, (size + 32767) / 32768) << size;
    std::size_t asked = 0;
    EXPECT_EQ(Put_Hex_Text(image, [&](std::string_view) { return ++asked < 2; }), pieces < 2) << size;
    EXPECT_EQ(asked, std::min<std::size_t>(pieces, 2)) << size;
  }
}

}  // namespace
}  // namespace orvo
