#include "core/SystemLocale.h"
#include "text/Formats.h"

#include <QTest>

#include <limits>

using namespace quillfern;

Q_DECLARE_METATYPE(quillfern::CurrencyOption)

namespace {

CurrencyOption currency(const char *code, double fxToUsd)
{
    return CurrencyOption{QString::fromLatin1(code), {}, {}, {}, fxToUsd};
}

// Restores the locale variables a test changed.
class LocaleEnvironment {
public:
    LocaleEnvironment()
    {
        for (const char *name : names)
            m_saved.append(qgetenv(name));
    }
    ~LocaleEnvironment()
    {
        for (int i = 0; i < 4; ++i) {
            if (m_saved[i].isNull())
                qunsetenv(names[i]);
            else
                qputenv(names[i], m_saved[i]);
        }
    }
    void set(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    static constexpr const char *names[4] = {"LC_ALL", "LC_NUMERIC", "LC_MONETARY", "LANG"};

private:
    QList<QByteArray> m_saved;
};

} // namespace

Q_DECLARE_METATYPE(std::optional<double>)

class FormatsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void money_data();
    void money();
    void percents_data();
    void percents();
    void decimals_data();
    void decimals();
    void localeComesFromTheEnvironment_data();
    void localeComesFromTheEnvironment();
    void defaultLocaleFollowsTheEnvironmentOnEveryCall();
    void readingTypedNumbers_data();
    void readingTypedNumbers();
};

void FormatsTest::money_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<CurrencyOption>("reporting");
    QTest::addColumn<double>("usd");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<QString>("expected");

    const QString us = QStringLiteral("en_US");
    const CurrencyOption usd = currency("USD", 1.0);
    QTest::newRow("plain") << us << usd << 2.5 << false << QStringLiteral("$2.50");
    QTest::newRow("signed") << us << usd << 2.5 << true << QStringLiteral("+$2.50");
    QTest::newRow("negative") << us << usd << -20.0 << false << QStringLiteral("-$20.00");
    QTest::newRow("negative signed has no plus") << us << usd << -20.0 << true << QStringLiteral("-$20.00");
    QTest::newRow("zero signed has no plus") << us << usd << 0.0 << true << QStringLiteral("$0.00");
    QTest::newRow("negative zero has no minus") << us << usd << -0.0 << false << QStringLiteral("$0.00");
    QTest::newRow("minus tested after rounding") << us << usd << -0.004 << true << QStringLiteral("$0.00");
    QTest::newRow("sign tested before rounding") << us << usd << 0.004 << true << QStringLiteral("+$0.00");
    QTest::newRow("grouping") << us << usd << 1234567.891 << false << QStringLiteral("$1,234,567.89");
    QTest::newRow("Hong Kong dollars") << us << currency("HKD", 0.127618574) << 1.0 << false
                                       << QStringLiteral("HK$7.84");
    QTest::newRow("yen keeps two digits")
        << us << currency("JPY", 0.0064) << 1.0 << false << QStringLiteral("\u00A5156.25");
    QTest::newRow("rate 0 divides by 1e-9")
        << us << currency("EUR", 0.0) << 1.0 << false << QStringLiteral("\u20AC1,000,000,000.00");
    QTest::newRow("negative rate divides by 1e-9")
        << us << currency("EUR", -3.0) << -0.5 << true << QStringLiteral("-\u20AC500,000,000.00");
    QTest::newRow("code ICU does not know")
        << us << currency("XYZ", 1.0) << 5.0 << false << QStringLiteral("XYZ\u00A05.00");
    QTest::newRow("malformed code") << us << currency("usd", 1.0) << 5.0 << true << QStringLiteral("+usd 5.00");
    QTest::newRow("German") << QStringLiteral("de_DE") << usd << -1234567.891 << false
                            << QStringLiteral("-1.234.567,89\u00A0$");
    QTest::newRow("German signed euro") << QStringLiteral("de_DE") << currency("EUR", 1.08) << 1080.0 << true
                                        << QStringLiteral("+1.000,00\u00A0\u20AC");
    QTest::newRow("Japanese yen") << QStringLiteral("ja_JP") << currency("JPY", 0.0064) << 1.0 << false
                                  << QStringLiteral("\uFFE5156.25");
    QTest::newRow("Chinese dollars") << QStringLiteral("zh_CN") << usd << -3.0 << false << QStringLiteral("-US$3.00");
    QTest::newRow("Swedish minus") << QStringLiteral("sv_SE") << currency("EUR", 1.0) << -3.0 << false
                                   << QStringLiteral("\u22123,00\u00A0\u20AC");
}

void FormatsTest::money()
{
    QFETCH(QString, locale);
    QFETCH(CurrencyOption, reporting);
    QFETCH(double, usd);
    QFETCH(bool, isSigned);
    QTEST(format(reporting, usd, isSigned, locale), "expected");
}

void FormatsTest::percents_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("whole"); // NaN: format the value itself with percent
    QTest::addColumn<QString>("expected");

    const double self = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("percent") << QStringLiteral("en_US") << 2.5 << self << QStringLiteral("2.50%");
    QTest::newRow("negative percent") << QStringLiteral("en_US") << -3.0 << self << QStringLiteral("-3.00%");
    QTest::newRow("large percent") << QStringLiteral("en_US") << 12345.678 << self << QStringLiteral("12,345.68%");
    QTest::newRow("German percent") << QStringLiteral("de_DE") << 2.5 << self << QStringLiteral("2,50\u00A0%");
    QTest::newRow("Korean percent") << QStringLiteral("ko_KR") << 10.0 << self << QStringLiteral("10.00%");
    QTest::newRow("ratio") << QStringLiteral("en_US") << 1.0 << 3.0 << QStringLiteral("33.33%");
    QTest::newRow("ratio above one") << QStringLiteral("en_US") << 5.0 << 4.0 << QStringLiteral("125.00%");
    QTest::newRow("German ratio") << QStringLiteral("de_DE") << 1.0 << 8.0 << QStringLiteral("12,50\u00A0%");
    QTest::newRow("ratio of zero whole") << QStringLiteral("de_DE") << 1.0 << 0.0 << QStringLiteral("0.00%");
    QTest::newRow("ratio of negative whole") << QStringLiteral("de_DE") << 1.0 << -5.0 << QStringLiteral("0.00%");
    QTest::newRow("ratio of infinite whole")
        << QStringLiteral("en_US") << 1.0 << std::numeric_limits<double>::infinity() << QStringLiteral("0.00%");
}

void FormatsTest::percents()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(double, whole);
    const QString text = std::isnan(whole) ? percent(value, locale) : ratioPercent(value, whole, locale);
    QTEST(text, "expected");
}

void FormatsTest::decimals_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one digit") << QStringLiteral("en_US") << 2.5 << 2 << QStringLiteral("2.5");
    QTest::newRow("rounded") << QStringLiteral("en_US") << 3.14159 << 2 << QStringLiteral("3.14");
    QTest::newRow("whole number") << QStringLiteral("en_US") << 7.0 << 2 << QStringLiteral("7");
    QTest::newRow("grouped") << QStringLiteral("en_US") << 1234567.5 << 2 << QStringLiteral("1,234,567.5");
    QTest::newRow("precision 0") << QStringLiteral("en_US") << 2.71828 << 0 << QStringLiteral("3");
    QTest::newRow("precision 4") << QStringLiteral("en_US") << 0.000123456 << 4 << QStringLiteral("0.0001");
    QTest::newRow("negative precision counts as 0") << QStringLiteral("en_US") << 9.6 << -1 << QStringLiteral("10");
    QTest::newRow("German") << QStringLiteral("de_DE") << 1234.5 << 2 << QStringLiteral("1.234,5");
    QTest::newRow("French narrow space") << QStringLiteral("fr_FR") << 1234.5 << 2 << QStringLiteral("1\u202F234,5");
    QTest::newRow("Japanese") << QStringLiteral("ja_JP") << 98765.4321 << 2 << QStringLiteral("98,765.43");
}

void FormatsTest::decimals()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(int, precision);
    QTEST(decimal(value, precision, locale), "expected");
}

void FormatsTest::localeComesFromTheEnvironment_data()
{
    QTest::addColumn<QByteArray>("all");
    QTest::addColumn<QByteArray>("numeric");
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("expected");

    QTest::newRow("LANG alone") << QByteArray() << QByteArray() << QByteArray("de_DE.UTF-8") << QStringLiteral("de_DE");
    QTest::newRow("category beats LANG") << QByteArray() << QByteArray("fr_FR.UTF-8") << QByteArray("de_DE.UTF-8")
                                         << QStringLiteral("fr_FR");
    QTest::newRow("LC_ALL beats both") << QByteArray("ja_JP.UTF-8") << QByteArray("fr_FR") << QByteArray("de_DE")
                                       << QStringLiteral("ja_JP");
    QTest::newRow("empty LC_ALL is unset")
        << QByteArray("") << QByteArray() << QByteArray("ko_KR.UTF-8") << QStringLiteral("ko_KR");
    QTest::newRow("modifier dropped") << QByteArray() << QByteArray() << QByteArray("de_DE@euro")
                                      << QStringLiteral("de_DE");
    QTest::newRow("C locale") << QByteArray("C.UTF-8") << QByteArray() << QByteArray() << QStringLiteral("en_US");
    QTest::newRow("POSIX") << QByteArray() << QByteArray() << QByteArray("POSIX") << QStringLiteral("en_US");
    QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << QStringLiteral("en_US");
}

void FormatsTest::localeComesFromTheEnvironment()
{
    QFETCH(QByteArray, all);
    QFETCH(QByteArray, numeric);
    QFETCH(QByteArray, lang);
    LocaleEnvironment environment;
    environment.set("LC_ALL", all);
    environment.set("LC_NUMERIC", numeric);
    environment.set("LC_MONETARY", QByteArray());
    environment.set("LANG", lang);
    QTEST(systemLocaleName(LocaleCategory::Numeric), "expected");
}

void FormatsTest::defaultLocaleFollowsTheEnvironmentOnEveryCall()
{
    LocaleEnvironment environment;
    environment.set("LC_ALL", "en_US.UTF-8");
    QCOMPARE(decimal(1234.5, 2), QStringLiteral("1,234.5"));
    QCOMPARE(format(currency("USD", 1), 2.5, true), QStringLiteral("+$2.50"));
    environment.set("LC_ALL", "de_DE.UTF-8");
    QCOMPARE(decimal(1234.5, 2), QStringLiteral("1.234,5"));
    QCOMPARE(format(currency("USD", 1), 2.5, true), QStringLiteral("+2,50\u00A0$"));
    QCOMPARE(percent(2.5), QStringLiteral("2,50\u00A0%"));
    environment.set("LC_ALL", QByteArray());
    environment.set("LC_MONETARY", "ja_JP.UTF-8");
    environment.set("LANG", "de_DE.UTF-8");
    QCOMPARE(format(currency("JPY", 0.0064), 1, false), QStringLiteral("\uFFE5156.25"));
    QCOMPARE(decimal(1234.5, 2), QStringLiteral("1.234,5"));
}

void FormatsTest::readingTypedNumbers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("expected");

    const std::optional<double> none;
    const auto row = [](const char *name, const char *locale, const QString &text, std::optional<double> value) {
        QTest::newRow(name) << QString::fromLatin1(locale) << text << value;
    };
    const auto u = [](const char *text) { return QString::fromUtf8(text); };
    row("en grouped", "en_US", u("1,234.5"), 1234.5);
    row("en plain, padded", "en_US", u(" 1234.5\t"), 1234.5);
    row("en plus", "en_US", u("+3"), 3.0);
    row("en two signs", "en_US", u("+-3"), none);
    row("en comma decimal", "en_US", u("1,5"), none);
    row("en misplaced grouping", "en_US", u("1,2345"), none);
    row("en two decimal signs", "en_US", u("1.2.3"), none);
    row("en letters inside", "en_US", u("30a0"), none);
    row("en exponent", "en_US", u("1e5"), none);
    row("en not a number", "en_US", u("NaN"), none);
    row("en empty", "en_US", u(" "), none);
    row("de grouped", "de_DE", u("1.234,5"), 1234.5);
    row("de grouping dot", "de_DE", u("1.234"), 1234.0);
    row("de dot is ambiguous", "de_DE", u("1.5"), none);
    row("de dot decimal after digits", "de_DE", u("1234.5"), none);
    row("fr narrow space", "fr_FR", u("1\u202F234,5"), 1234.5);
    row("fr plain dot decimal", "fr_FR", u("1.5"), 1.5);
    row("fr dot before three digits", "fr_FR", u("1.234"), none);
    row("fr two decimal signs", "fr_FR", u("1.5,5"), none);
    row("ja full-width", "ja_JP", u("\uFF11\uFF0C\uFF12\uFF13\uFF14\uFF0E\uFF15"), 1234.5);
    row("zh_CN grouped", "zh_CN", u("12,345.67"), 12345.67);
    row("zh_TW misplaced grouping", "zh_TW", u("12,34.5"), none);
    row("ko grouped", "ko_KR", u("1,000,000"), 1000000.0);
    row("hi lakh grouping", "hi_IN", u("12,34,567.5"), 1234567.5);
    row("hi western grouping", "hi_IN", u("1,234,567"), none);
    row("sv minus sign", "sv_SE", u("\u22123,5"), -3.5);
    QTest::newRow("what the formatter wrote reads back")
        << QStringLiteral("sv_SE") << decimal(-98765.4321, 4, QStringLiteral("sv_SE")) << std::optional(-98765.4321);
}

void FormatsTest::readingTypedNumbers()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(std::optional<double>, expected);
    QCOMPARE(readDecimal(text, locale), expected);
}

QTEST_APPLESS_MAIN(FormatsTest)
#include "tst_formats.moc"
