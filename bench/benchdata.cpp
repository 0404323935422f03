#include "benchdata.h"

#include "store/database.h"

#include <QRandomGenerator>

#include <algorithm>
#include <vector>

using namespace varnel;

namespace
{

// Common characters for the filler text; the marker words use none of them.
const QString kPool = QStringLiteral("的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出"
                                     "就分对成会可主发年动同工也能下过子说产"
                                     "种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高"
                                     "自二理起小物现实加量都两体制机当使点从业"
                                     "本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表"
                                     "间样与关各重新线内数正心反你明看原又么利"
                                     "比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代"
                                     "想已通并提直题党程展五果料象员革位入常文"
                                     "总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见"
                                     "计别她手角期根论运农指几九区强放决西被干"
                                     "做必战先回则任取据处理府研质");
const QStringList kAsciiWords = {"the",    "meeting", "notes",  "project", "server", "backup",
                                 "report", "draft",   "todo",   "email",   "budget", "plan",
                                 "login",  "version", "update", "review",  "call",   "list"};
const QStringList kRare = {"翡翠湖", "琥珀灯", "珊瑚礁", "玛瑙镯", "翎羽扇", "骆驼铃",
                           "蝴蝶谷", "蜻蜓湾", "鹦鹉螺", "麒麟阁", "凤凰岭", "龙舌兰",
                           "紫藤架", "芙蓉镇", "茉莉茶", "薰衣草", "蒲公英", "向日葵",
                           "郁金香", "樱桃酱", "枇杷膏", "榴莲酥", "橄榄枝", "柠檬汁",
                           "椰子糖", "葡萄酒", "菠萝包", "荔枝冻", "杏仁饼", "核桃仁"};
const QStringList kWide = {"年度总结", "客户跟进", "周报草稿"};

// Draws ranks 0 .. n-1 with a Zipf-like (1 / (rank + 1)) frequency: a few
// characters and words are everywhere, most are seldom seen.
class Zipf
{
  public:
    explicit Zipf(int n)
    {
        double sum = 0;
        for (int rank = 0; rank < n; ++rank) {
            sum += 1.0 / (rank + 1);
            cumulative_.push_back(sum);
        }
    }
    int draw(QRandomGenerator &rng) const
    {
        const double at = rng.generateDouble() * cumulative_.back();
        return int(std::lower_bound(cumulative_.begin(), cumulative_.end(), at) -
                   cumulative_.begin());
    }

  private:
    std::vector<double> cumulative_;
};

// About 3,000 characters: the common ones first, then the rest of the
// frequent block of CJK ideographs in code order.
const QString &characters()
{
    static const QString all = [] {
        QString out = kPool;
        for (char16_t c = 0x4E00; out.size() < 3000; c += 7) {
            if (!out.contains(QChar(c)))
                out += QChar(c);
        }
        return out;
    }();
    return all;
}

// About 2,500 words: the everyday English ones first, then made-up ones of
// two to four syllables, and two- to four-character Chinese words.
const QStringList &words()
{
    static const QStringList all = [] {
        QStringList out = kAsciiWords;
        const QStringList syllables = {"ka", "lo", "mi",  "ren", "to", "sha", "vel", "din",
                                       "pa", "ru", "zen", "qi",  "mo", "tan", "lu",  "xi"};
        QRandomGenerator rng(99);
        const QString &chars = characters();
        while (out.size() < 2500) {
            QString word;
            if (out.size() % 2) {
                for (int i = 0, n = 2 + int(rng.bounded(3)); i < n; ++i)
                    word += syllables.at(int(rng.bounded(syllables.size())));
            } else {
                for (int i = 0, n = 2 + int(rng.bounded(3)); i < n; ++i)
                    word += chars.at(int(rng.bounded(400)));
            }
            out += word;
        }
        return out;
    }();
    return all;
}

QString filler(QRandomGenerator &rng, int length)
{
    static const Zipf charRank(int(characters().size()));
    static const Zipf wordRank(int(words().size()));
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        if (rng.bounded(3) == 0) {
            text += words().at(wordRank.draw(rng));
            text += QLatin1Char(' ');
        } else {
            const int run = 4 + int(rng.bounded(12));
            for (int i = 0; i < run; ++i)
                text += characters().at(charRank.draw(rng));
            text += rng.bounded(3) == 0 ? QStringLiteral("。\n") : QStringLiteral("，");
        }
    }
    return text;
}

void addMarkers(QRandomGenerator &rng, QString &body)
{
    for (const QString &word : kRare) {
        if (rng.bounded(100) == 0)
            body.insert(int(rng.bounded(body.size() + 1)), word);
    }
    for (const QString &word : kWide) {
        if (rng.bounded(10) < 3)
            body.insert(int(rng.bounded(body.size() + 1)), word);
    }
}

} // namespace

BenchData fillNotebook(int notes, int bodyChars)
{
    QRandomGenerator rng(4242);
    OpenDb();
    DbConn->Execute(QStringLiteral("begin"));
    for (int c = 1; c <= 20; ++c)
        DbConn->Execute(QStringLiteral("insert into 分类 (bh, mc) values (0, ?)"),
                        {QStringLiteral("分类%1").arg(c)});
    for (int i = 0; i < notes; ++i) {
        const QString title = filler(rng, 6 + int(rng.bounded(20))).left(30);
        // Long bodies: 3,400 to 10,000 characters of mostly three bytes.
        const int length = bodyChars == kLongBodies ? 3400 + int(rng.bounded(6601))
                           : bodyChars > 0          ? bodyChars
                                                    : 100 + int(rng.bounded(1901));
        QString body = filler(rng, length);
        addMarkers(rng, body);
        const QString time = QStringLiteral("20%1-%2-%3 %4:%5:%6")
                                 .arg(10 + rng.bounded(16))
                                 .arg(1 + rng.bounded(12), 2, 10, QLatin1Char('0'))
                                 .arg(1 + rng.bounded(28), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(24), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60), 2, 10, QLatin1Char('0'));
        DbConn->Execute(
            QStringLiteral(
                "insert into 企业日记 (标题, 内容, 分类, 处理, 时间) values (?,?,?,?,?)"),
            {title, body, 1 + int(rng.bounded(20)), rng.bounded(10) == 0 ? 1 : 0, time});
    }
    DbConn->Execute(QStringLiteral("commit"));
    CloseDb();
    return benchData();
}

BenchData benchData()
{
    return BenchData{kRare, kWide};
}
