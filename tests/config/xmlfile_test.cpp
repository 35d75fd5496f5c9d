#include <gtest/gtest.h>

#include <string>

#include "config/CXmlFile.h"
#include "tests/support/sim_test.h"

namespace {

class XmlFileTest : public kvtest::SimTest {};

TEST_F(XmlFileTest, ReadsThroughTheDriveCaseInsensitivelyWithEntitiesAndBlanks) {
    WriteFile("C:\\Kv\\Table.xml", "<?xml version=\"1.0\"?>\n<Root><XmlVer>  a&amp;b  </XmlVer></Root>");
    CXmlFile file;
    ASSERT_TRUE(file.Load("c:\\KV\\table.XML"));
    ASSERT_NE(file.Root(), nullptr);
    EXPECT_STREQ(file.Root()->Name(), "Root");
    EXPECT_STREQ(file.Root()->FirstChildElement("XmlVer")->GetText(), "  a&b  ");
}

TEST_F(XmlFileTest, FailsOnMissingEmptyOrMalformedFile) {
    WriteFile("C:\\Kv\\empty.xml", "");
    WriteFile("C:\\Kv\\bad.xml", "<Root><Open></Root>");
    CXmlFile file;
    EXPECT_FALSE(file.Load("C:\\Kv\\missing.xml"));
    EXPECT_FALSE(file.Load("C:\\Missing\\missing.xml"));
    EXPECT_FALSE(file.Load(""));
    EXPECT_FALSE(file.Load("C:\\Kv\\empty.xml"));
    EXPECT_FALSE(file.Load("C:\\Kv\\bad.xml"));
    EXPECT_FALSE(file.Load("C:\\Kv"));
    EXPECT_EQ(file.Root(), nullptr);
}

TEST_F(XmlFileTest, SavesIndentedAndReadsBack) {
    WriteFile("C:\\Kv\\scatter.xml", "<a><b>x</b></a>");
    CXmlFile file;
    ASSERT_TRUE(file.Load("C:\\Kv\\scatter.xml"));
    file.Root()->FirstChildElement("b")->SetText("true");
    ASSERT_TRUE(file.Save("C:\\Kv\\scatter.xml"));
    EXPECT_EQ(ReadFile("C:\\Kv\\scatter.xml"), "<a>\n    <b>true</b>\n</a>\n");
    EXPECT_FALSE(file.Save("C:\\NoSuchFolder\\out.xml"));
}

}  // namespace
