#include "auth/CallbackItems.h"
#include "auth/PKCE.h"
#include "auth/SignInPrompt.h"
#include "tests/auth/PKCEExample.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace quillfern;
using namespace quillfern::testing;

using Items = QMap<QString, QString>;
using OptionalText = std::optional<QString>;
using OptionalBytes = std::optional<QByteArray>;

Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalBytes)

// What a sign-in request is made of: the PKCE pair, and how the callback's query is read.
class SignInRequestTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void verifiersAreFreshAndChallengesMatch();
    void verifierOfAKnownExample_data();
    void verifierOfAKnownExample();
    void callbackItemsAreReadInOrder_data();
    void callbackItemsAreReadInOrder();
    void languageBeforeSignIn_data();
    void languageBeforeSignIn();
};

void SignInRequestTest::verifiersAreFreshAndChallengesMatch()
{
    static const QRegularExpression urlSafe(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
    QSet<QString> verifiers;
    for (int run = 0; run < 500; ++run) {
        const auto pkce = makePKCE();
        QVERIFY(pkce);
        QVERIFY2(urlSafe.match(pkce->verifier).hasMatch(), qPrintable(pkce->verifier));
        QVERIFY2(urlSafe.match(pkce->challenge).hasMatch(), qPrintable(pkce->challenge));
        const QByteArray digest = QCryptographicHash::hash(pkce->verifier.toUtf8(), QCryptographicHash::Sha256);
        QCOMPARE(pkce->challenge,
                 QString::fromLatin1(digest.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)));
        verifiers.insert(pkce->verifier);
    }
    QCOMPARE(verifiers.size(), 500);
}

void SignInRequestTest::verifierOfAKnownExample_data()
{
    QTest::addColumn<OptionalBytes>("bytes");
    QTest::addColumn<OptionalText>("verifier");
    QTest::addColumn<OptionalText>("challenge");

    QTest::newRow("worked example") << OptionalBytes(exampleBytes) << OptionalText(exampleVerifier)
                                    << OptionalText(exampleChallenge);
    QTest::newRow("source fails") << OptionalBytes() << OptionalText() << OptionalText();
    QTest::newRow("short read") << OptionalBytes(exampleBytes.left(31)) << OptionalText() << OptionalText();
}

void SignInRequestTest::verifierOfAKnownExample()
{
    QFETCH(OptionalBytes, bytes);
    QFETCH(OptionalText, verifier);
    QFETCH(OptionalText, challenge);

    const auto pkce = makePKCE([bytes](qsizetype) { return bytes; });
    QCOMPARE(pkce ? OptionalText(pkce->verifier) : std::nullopt, verifier);
    QCOMPARE(pkce ? OptionalText(pkce->challenge) : std::nullopt, challenge);
}

void SignInRequestTest::callbackItemsAreReadInOrder_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<Items>("items");

    const QString callback = QStringLiteral("quillfern://oauth/callback");
    QTest::newRow("no query") << callback << Items{};
    QTest::newRow("one code") << callback + QStringLiteral("?code=abc")
                              << Items{{QStringLiteral("code"), QStringLiteral("abc")}};
    QTest::newRow("empty value") << callback + QStringLiteral("?code=") << Items{{QStringLiteral("code"), QString()}};
    QTest::newRow("bare name") << callback + QStringLiteral("?code") << Items{};
    QTest::newRow("bare name removes") << callback + QStringLiteral("?code=abc&state=s&code")
                                       << Items{{QStringLiteral("state"), QStringLiteral("s")}};
    QTest::newRow("later replaces") << callback + QStringLiteral("?code=first&code=second")
                                    << Items{{QStringLiteral("code"), QStringLiteral("second")}};
    QTest::newRow("value after removal") << callback + QStringLiteral("?code&code=again")
                                         << Items{{QStringLiteral("code"), QStringLiteral("again")}};
    QTest::newRow("plus kept, escapes decoded")
        << callback + QStringLiteral("?msg=a+b%20c%2B%26") << Items{{QStringLiteral("msg"), QStringLiteral("a+b c+&")}};
    QTest::newRow("utf-8 escapes") << callback + QStringLiteral("?k=%E6%97%A5%E6%9C%AC")
                                   << Items{{QStringLiteral("k"), QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC")}};
    QTest::newRow("first equals splits") << callback + QStringLiteral("?a=1=2")
                                         << Items{{QStringLiteral("a"), QStringLiteral("1=2")}};
    QTest::newRow("escaped name") << callback + QStringLiteral("?error%5Fdescription=x")
                                  << Items{{QStringLiteral("error_description"), QStringLiteral("x")}};
    QTest::newRow("unparsable") << QStringLiteral("quillfern://[::1/callback?code=abc") << Items{};
}

void SignInRequestTest::callbackItemsAreReadInOrder()
{
    QFETCH(QString, url);
    QFETCH(Items, items);
    QCOMPARE(callbackItems(QUrl(url)), items);
}

void SignInRequestTest::languageBeforeSignIn_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<QString>("language");

    const auto add = [](const char *name, const char *chosen, const QStringList &system, const char *language) {
        QTest::newRow(name) << QString::fromLatin1(chosen) << system << QString::fromLatin1(language);
    };
    add("the window's choice first", "ko-KR", {QStringLiteral("ja-JP")}, "ko-KR");
    add("a choice the app does not speak", "fr-FR", {QStringLiteral("ja-JP")}, "ja-JP");
    add("a choice in another case", "JA-jp", {}, "en-US");
    add("Japanese system", "", {QStringLiteral("ja-JP"), QStringLiteral("ja")}, "ja-JP");
    add("Traditional by region", "", {QStringLiteral("zh-HK")}, "zh-TW");
    add("Traditional by script", "", {QStringLiteral("zh-Hant")}, "zh-TW");
    add("underscores as POSIX writes them", "", {QStringLiteral("zh_TW")}, "zh-TW");
    add("British English", "", {QStringLiteral("en-GB")}, "en-GB");
    add("Irish English", "", {QStringLiteral("en-IE")}, "en-EU");
    add("the first the app speaks", "", {QStringLiteral("fr-FR"), QStringLiteral("de"), QStringLiteral("zh-CN")},
        "zh-CN");
    add("none the app speaks", "", {QStringLiteral("fr-FR"), QStringLiteral("pt-BR")}, "en-US");
    add("nothing known", "", {}, "en-US");
}

void SignInRequestTest::languageBeforeSignIn()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, system);
    QFETCH(QString, language);
    QCOMPARE(signInLanguage(chosen, system), language);
}

QTEST_APPLESS_MAIN(SignInRequestTest)
#include "tst_signinrequest.moc"
