// The demo store's users, messages and keywords.
#include "orvanhost/demo_data.h"

namespace {

constexpr DemoMessage kYamadaMessages[] = {
    {"セールのお知らせ", "営業部 <sales@example.jp>",
     "今週末はせーる！\r\nｾｰﾙ会場は本社３階、セール価格は５０％ＯＦＦです。\r\n"
     "Big sale this weekend. ＳＡＬＥ\r\n",
     -1, 0, 0},
    {"見積書の件", "佐藤花子 <hanako.sato@example.jp>",
     "お見積もりを添付します。\r\n見積番号：ＥＳＴ－１２３\r\nご確認ください。\r\n", -1, 0, 0},
    {"会議の議事録", "開発部 <dev@example.jp>",
     "本日の会議の議事録です。\r\n次回はセールの準備について。\r\n", 0, 1, 3},
};

constexpr DemoMessage kSatoMessages[] = {
    {"ぱすわーど変更のお願い", "全社員 <all@example.jp>",
     "パスワードの変更をお願いします。\r\nﾊﾟｽﾜｰﾄﾞは８文字以上、password の使い回しは禁止。\r\n"
     "Ｐａｓｓｗｏｒｄ policy v2\r\n",
     -1, 0, 0},
    {"らんち", "山田太郎 <taro.yamada@example.jp>",
     "きょうのランチはカレーにしませんか。ﾗﾝﾁ は１２時から。\r\n", -1, 0, 0},
};

constexpr DemoMessage kSuzukiMessages[] = {
    {"機密：新製品の資料", "役員会 <board@example.jp>",
     "この資料は社外秘です。\r\nCONFIDENTIAL - do not forward.\r\n", -1, 0, 0},
    {"Re: 見積", "山田太郎 <taro.yamada@example.jp>", "見積の再送ありがとうございました。\r\n", 0,
     2, 4},
    {"週報", "開発部 <dev@example.jp>", "今週は特になし。\r\n", 0, 0, 0},
};

constexpr DemoMessage kBoardMessages[] = {
    {"【お知らせ】セール期間", "",
     "全社セールを開催します。\r\nｾｰﾙ会場は３階、ｾｰﾙ期間は１週間です。\r\n", -1, 0, 0},
    {"【重要】パスワード更新", "", "パスワード更新の期限は今月末です。PASSWORD は社外秘。\r\n", 0,
     3, 25},
};

constexpr DemoUser kUsers[] = {
    {"山田太郎", false, kYamadaMessages},  // new and scored messages
    {"佐藤花子", false, kSatoMessages},    // hiragana, half-width and full-width forms
    {"鈴木一郎", false, kSuzukiMessages},  // mostly scored already
    {"高橋美咲", false, {}},               // an empty folder
    {"社内掲示板", true, kBoardMessages},  // the board
};

constexpr DemoKeyword kKeywords[] = {
    {"セール", "3"}, {"パスワード", "5"},   {"見積", "2"},    {"機密", "10"},  {"社外秘", "10"},
    {"sale", "1"},   {"CONFIDENTIAL", "8"}, {"ﾗﾝﾁ", nullptr}, {"ＯＦＦ", "2"},
};

}  // namespace

std::span<const DemoUser> DemoUsers() { return kUsers; }
std::span<const DemoKeyword> DemoKeywords() { return kKeywords; }
