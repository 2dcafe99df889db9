// The Linux system services: the user's conventions, the entry test, folder creation.
#include <gtest/gtest.h>
#include <locale.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/text.h"
#include "platform/files.h"
#include "platform/linux_system.h"
#include "support.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;

bool haveLocale(const char* name) {
  locale_t loc = newlocale(LC_NUMERIC_MASK, name, nullptr);
  if (loc) freelocale(loc);
  return loc != nullptr;
}

TEST(LinuxConventions, ComeFromTheNamedLocale) {
  LinuxSystem c("C");
  EXPECT_EQ(c.numberFormat().decimal, u".");
  EXPECT_EQ(c.numberFormat().grouping, u"");
  EXPECT_EQ(c.dateSeparator(), u"/");
  if (!haveLocale("es_ES.UTF-8")) GTEST_SKIP() << "es_ES.UTF-8 is not generated";
  LinuxSystem spanish("es_ES.UTF-8");
  EXPECT_EQ(spanish.numberFormat().decimal, u",");
  EXPECT_EQ(spanish.numberFormat().grouping, u".");
  EXPECT_EQ(spanish.dateSeparator(), u"/");
}

// The conventions of real locales, with the grouping each gives: Spanish and English
// group by three with a point or a comma, French with a narrow no-break space, which a
// typed space stands for.
TEST(LinuxConventions, NumbersReadAsTheLocaleGroupsThem) {
  for (const char* name : {"es_ES.UTF-8", "en_US.UTF-8", "fr_FR.UTF-8"}) {
    if (!haveLocale(name)) GTEST_SKIP() << name << " is not generated";
  }
  const NumberFormat spanish = LinuxSystem("es_ES.UTF-8").numberFormat();
  EXPECT_EQ(spanish.groups, (std::vector<int>{3, 3}));
  EXPECT_EQ(parseLocaleNumber(u"1.234,5", spanish), 1234.5);
  EXPECT_EQ(parseLocaleNumber(u"12.345.678", spanish), 12345678.0);
  EXPECT_EQ(parseLocaleNumber(u"1,0", spanish), 1.0);
  EXPECT_RAISES(parseLocaleNumber(u"99.50", spanish), 13);

  const NumberFormat english = LinuxSystem("en_US.UTF-8").numberFormat();
  EXPECT_EQ(english.grouping, u",");
  EXPECT_EQ(parseLocaleNumber(u"1,234.5", english), 1234.5);
  EXPECT_EQ(parseLocaleNumber(u"99.50", english), 99.5);
  EXPECT_RAISES(parseLocaleNumber(u"1,0", english), 13);

  const NumberFormat french = LinuxSystem("fr_FR.UTF-8").numberFormat();
  EXPECT_EQ(french.decimal, u",");
  EXPECT_EQ(french.grouping, u"\u202F");
  EXPECT_EQ(parseLocaleNumber(u"1 234,5", french), 1234.5);
  EXPECT_EQ(parseLocaleNumber(u"1\u202F234\u202F567", french), 1234567.0);
  EXPECT_RAISES(parseLocaleNumber(u"12 34,5", french), 13);
}

TEST(LinuxConventions, UnknownLocaleIsAnError) {
  EXPECT_THROW(LinuxSystem("xx_NOWHERE.UTF-8"), std::runtime_error);
}

TEST(LinuxConventions, DateSeparatorOfAShortDateFormat) {
  EXPECT_EQ(dateSeparatorOf("%d/%m/%y"), u"/");
  EXPECT_EQ(dateSeparatorOf("%d.%m.%Y"), u".");
  EXPECT_EQ(dateSeparatorOf("%Y-%m-%d"), u"-");
  EXPECT_EQ(dateSeparatorOf("%Ey/%m/%d"), u"/");
  EXPECT_EQ(dateSeparatorOf("%x"), u"/");
}

class LinuxFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("brosk-platform-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }
  std::u16string at(const std::string& name) const { return fromUtf8((root / name).string()); }

  fs::path root;
  LinuxSystem system{"C"};
};

// Linux has no hidden attribute: a dot name is an entry like any other (an order folder
// of series "." is found again by the next export into it).
TEST_F(LinuxFolders, EntryTestSeesFoldersAndFilesDotNamesIncluded) {
  fs::create_directory(root / "KD_LORVENIC");
  std::ofstream(root / "file") << "x";
  fs::create_directory(root / ".hidden");
  EXPECT_TRUE(system.entryExists(at("KD_LORVENIC")));
  EXPECT_TRUE(system.entryExists(at("KD_LORVENIC") + u"/"));
  EXPECT_TRUE(system.entryExists(at("file")));
  EXPECT_TRUE(system.entryExists(at(".hidden")));
  EXPECT_FALSE(system.entryExists(at("missing")));
  EXPECT_RAISES(system.entryExists(at("a") + std::u16string(1, u'\0') + u"b"), 52);
}

TEST_F(LinuxFolders, CreatesOneLevelAndReportsWhyItCannot) {
  system.createFolder(at("9_9999"));
  EXPECT_TRUE(fs::is_directory(root / "9_9999"));
  EXPECT_RAISES(system.createFolder(at("9_9999")), 75,
                u"Error de acceso a la ruta o el archivo: «" + at("9_9999") + u"»");
  auto errorOf = [&](const std::u16string& path) {
    return testing::errorOf([&] { system.createFolder(path); });
  };
  EXPECT_EQ(errorOf(at("no/such")), 76);
  EXPECT_EQ(errorOf(at("a") + std::u16string(1, u'\0')), 52);
  EXPECT_EQ(errorOf(u""), 52);
  EXPECT_EQ(errorOf(at(std::string(300, 'x'))), 52);
}

TEST_F(LinuxFolders, KeepsNamesOutsideAsciiIntact) {
  system.createFolder(at("Año_Ñandú 𝄞"));
  EXPECT_TRUE(fs::is_directory(root / "Año_Ñandú 𝄞"));
  EXPECT_TRUE(system.entryExists(at("Año_Ñandú 𝄞")));
}

// A reason the run-time number does not tell (a network drop, an antivirus block) follows
// the path with the system's code and its own text, its line end and full stop cut.
TEST(SystemReason, FollowsThePathWithTheCodeAndTheSystemsText) {
  EXPECT_RAISES(
      throw withSystemReason(pathError(75, u"Z:\\9_2\\PRE.xls"), u"Windows", 64,
                             u"El nombre de red especificado ya no está disponible.\r\n"),
      75,
      u"Error de acceso a la ruta o el archivo: «Z:\\9_2\\PRE.xls» (Windows 64: El nombre de red "
      u"especificado ya no está disponible)");
  EXPECT_EQ(withSystemReason(pathError(75, u"a"), u"Windows", 225, u"").description(),
            u"Error de acceso a la ruta o el archivo: «a» (Windows 225)");
}

}  // namespace
}  // namespace brosk
