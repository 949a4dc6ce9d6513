// The operator's messages: what each result code shows, and what a code
// outside the tables shows.
#include "messages/message_catalogue.h"

#include <gtest/gtest.h>

#include "messages/app_version.h"
#include "tests/support/fake_window.h"

namespace {

const std::u16string kProduct = u"Velkoro Firmware/Serial No. Writer";

TEST(MessageCatalogue, ResultCodesMapToTheirMessagesInTheResultTableOrder) {
  // result code -> message code, straight from the table the operator's
  // manual prints; 7, 8 and 9 are the ones a formula would get wrong.
  const int expected[23] = {-1, 6,  7,  9,  10, 8,  11, 15, 13, 14, 12, 17,
                            16, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
  for (int result = 1; result <= 22; ++result) {
    FakeWindow window;
    ShowMessage(window, result, CodeKind::kResult);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, GetMessageText(expected[result])) << "result " << result;
    EXPECT_EQ(window.boxes[0].caption, u"ERROR") << "result " << result;
    EXPECT_EQ(window.boxes[0].style, 0x30u) << "result " << result;
    EXPECT_FALSE(window.boxes[0].text.empty()) << "result " << result;
  }
  EXPECT_EQ(MessageCodeForResult(7), 15);
  EXPECT_EQ(MessageCodeForResult(8), 13);
  EXPECT_EQ(MessageCodeForResult(9), 14);
}

TEST(MessageCatalogue, CodesOutsideTheTablesShowAnEmptyOkBox) {
  struct Case {
    int code;
    CodeKind kind;
  } cases[] = {{0, CodeKind::kResult},    {23, CodeKind::kResult},
               {-1, CodeKind::kResult},   {-2147483647 - 1, CodeKind::kResult},
               {28, CodeKind::kMessage},  {-1, CodeKind::kMessage},
               {1000, CodeKind::kMessage}};
  for (const Case& c : cases) {
    FakeWindow window;
    window.boxAnswers = {1};
    EXPECT_EQ(ShowMessage(window, c.code, c.kind), 1);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(window.boxes[0].text.empty()) << c.code << "/" << static_cast<int>(c.kind);
    EXPECT_TRUE(window.boxes[0].caption.empty()) << c.code << "/" << static_cast<int>(c.kind);
    EXPECT_EQ(window.boxes[0].style, 0u) << c.code << "/" << static_cast<int>(c.kind);
  }
  EXPECT_TRUE(GetMessageText(28).empty());
  EXPECT_TRUE(GetMessageCaption(28).empty());
  EXPECT_EQ(GetMessageStyle(28), 0u);
}

TEST(MessageCatalogue, TwoLineMessagesBreakWithLineFeedThenCarriageReturn) {
  for (int code : {13, 27}) {
    std::u16string text = GetMessageText(code);
    size_t lf = text.find(u'\n');
    ASSERT_NE(lf, std::u16string::npos) << code;
    ASSERT_LT(lf + 1, text.size());
    EXPECT_EQ(text[lf + 1], u'\r') << code;
    EXPECT_EQ(text.find(u"\r\n"), std::u16string::npos) << code;
  }
  EXPECT_EQ(GetMessageText(13),
            u"The firmware version of Velkoro is 2.2 or less.\n\r"
            u"Please update the firmware version to 2.2 or more.");
  EXPECT_EQ(GetMessageText(27),
            u"The firmware version of Velkoro is 1.0 or less.\n\r"
            u"Please update the firmware version to 1.1.");
}

TEST(MessageCatalogue, QuestionsAndReportsCarryTheProductNameAndTheirButtons) {
  struct Case {
    int code;
    unsigned style;
    const char16_t* text;
  } cases[] = {
      {0, 0x01, u"May I update Firmware Ver. "},
      {1, 0x04, u"Did the LED display become like a red frame?"},
      {2, 0x00, u"Please push Reset SW of Velkoro."},
      {3, 0x00, u"Updating Firmware of Velkoro succeeded."},
      {4, 0x01, u"May I write Serial No. of Velkoro?"},
      {5, 0x00, u"Writing Serial No. of Velkoro succeeded."},
  };
  for (const Case& c : cases) {
    FakeWindow window;
    ShowMessage(window, c.code, CodeKind::kMessage);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, c.text);
    // The caption is the name alone; only the title carries the version.
    EXPECT_EQ(window.boxes[0].caption, kProduct) << c.code;
    EXPECT_EQ(window.boxes[0].style, c.style) << c.code;
  }
}

TEST(MessageCatalogue, TheAnswerOfTheBoxIsReturnedUnchanged) {
  for (int answer : {1, 2, 6, 7}) {
    FakeWindow window;
    window.boxAnswers = {answer};
    EXPECT_EQ(ShowMessage(window, kMsgAskWriteSerial, CodeKind::kMessage), answer);
  }
}

TEST(AppVersion, TitleCarriesTheVersionAndCaptionsFollowTheVersionBlock) {
  EXPECT_EQ(FormatAppVersionText(VersionTextForm::kNameAndVersion), kProduct + u" Ver. 1.0.0.0");
  EXPECT_EQ(FormatAppVersionText(VersionTextForm::kNameOnly), kProduct);

  SetAppVersion({u"Bench Writer", 2, 10, 300, 4});
  EXPECT_EQ(FormatAppVersionText(VersionTextForm::kNameAndVersion),
            u"Bench Writer Ver. 2.10.300.4");
  EXPECT_EQ(GetMessageCaption(3), u"Bench Writer");
  EXPECT_EQ(GetMessageCaption(6), u"ERROR");
  SetAppVersion({kProduct, 1, 0, 0, 0});
}

}  // namespace
