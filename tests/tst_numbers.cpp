// The number forms the game shows and reads back.

#include "base/numbers.h"

#include <QLocale>
#include <QTest>

using namespace segni;

class NumbersTest : public QObject
{
    Q_OBJECT
private slots:
    void formatsByPattern_data();
    void formatsByPattern();
    void readsLeniently_data();
    void readsLeniently();
    void readsStrictlyOnlyWholeNumbers_data();
    void readsStrictlyOnlyWholeNumbers();
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void integerArithmeticFailsOutsideSixteenBits_data();
    void integerArithmeticFailsOutsideSixteenBits();
};

void NumbersTest::formatsByPattern_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("minus seven as a factor") << -7.0 << "#0" << "-7";
    QTest::newRow("four as a factor") << 4.0 << "#0" << "4";
    QTest::newRow("zero as a factor") << 0.0 << "#0" << "0";
    QTest::newRow("product of -24") << -24.0 << "####0" << "-24";
    QTest::newRow("big counter has no grouping") << 12345.0 << "####0" << "12345";
    QTest::newRow("wrong answers") << 12.0 << "###0" << "12";
    QTest::newRow("clock five") << 5.0 << "00" << "05";
    QTest::newRow("clock zero") << 0.0 << "00" << "00";
    QTest::newRow("clock fifty-nine") << 59.0 << "00" << "59";
}

void NumbersTest::formatsByPattern()
{
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(formatNumber(value, pattern), expected);
}

void NumbersTest::readsLeniently_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("negative answer") << "-12" << -12.0;
    QTest::newRow("stops at a second sign") << "12-3" << 12.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("lone minus") << "-" << 0.0;
    QTest::newRow("two minus signs") << "--4" << 0.0;
    QTest::newRow("blanks inside are skipped") << "1 2" << 12.0;
    QTest::newRow("tabs and line feeds skipped") << "\t1\n2" << 12.0;
    QTest::newRow("record file with CR LF") << "12\r\n" << 12.0;
    QTest::newRow("stops at carriage return") << "1\r2" << 1.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("one decimal point") << "2.5" << 2.5;
    QTest::newRow("second point stops") << "2.5.7" << 2.5;
    QTest::newRow("letters give nothing") << "abc" << 0.0;
    QTest::newRow("letters stop the number") << "3abc" << 3.0;
    QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80" "5") << 0.0;
    QTest::newRow("endless digits stay finite") << QString(400, QLatin1Char('9'))
                                                << std::numeric_limits<double>::max();
}

void NumbersTest::readsLeniently()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(lenientNumber(text), expected);
}

void NumbersTest::readsStrictlyOnlyWholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<double>("expected");
    QTest::newRow("score") << "12" << false << 12.0;
    QTest::newRow("zero") << "0" << false << 0.0;
    QTest::newRow("negative") << "-3" << false << -3.0;
    QTest::newRow("empty") << "" << true << 0.0;
    QTest::newRow("trailing line end") << "12\r\n" << true << 0.0;
    QTest::newRow("words") << "dodici" << true << 0.0;
}

void NumbersTest::readsStrictlyOnlyWholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, fails);
    QFETCH(double, expected);
    if (fails) {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, strictNumber(text));
    } else {
        QCOMPARE(strictNumber(text), expected);
    }
}

void NumbersTest::roundsHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("half down to even") << 2.5 << 2;
    QTest::newRow("half up to even") << 3.5 << 4;
    QTest::newRow("negative half") << -2.5 << -2;
    QTest::newRow("plain") << 2.4 << 2;
    QTest::newRow("top of range") << 32767.4 << 32767;
    QTest::newRow("bottom of range") << -32768.0 << -32768;
}

void NumbersTest::roundsHalvesToEven()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(int(roundToInteger(value)), expected);
}

void NumbersTest::integerArithmeticFailsOutsideSixteenBits_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<char>("op");
    QTest::addColumn<bool>("overflows");
    QTest::newRow("counter at the top") << 32766 << 1 << '+' << false;
    QTest::newRow("counter past the top") << 32767 << 1 << '+' << true;
    QTest::newRow("biggest product") << -240 << 1 << '*' << false;
    QTest::newRow("product too big") << 200 << 200 << '*' << true;
    QTest::newRow("negating the bottom") << 0 << -32768 << '-' << true;
}

void NumbersTest::integerArithmeticFailsOutsideSixteenBits()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(char, op);
    QFETCH(bool, overflows);
    const auto run = [&] {
        const Integer x = checkedInteger(a), y = checkedInteger(b);
        return op == '+' ? add(x, y) : op == '-' ? subtract(x, y) : multiply(x, y);
    };
    if (overflows)
        QVERIFY_THROWS_EXCEPTION(RuntimeError, run());
    else
        QCOMPARE(int(run()), op == '+' ? a + b : op == '-' ? a - b : a * b);
}

QTEST_APPLESS_MAIN(NumbersTest)
#include "tst_numbers.moc"
