#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

struct evp_pkey_st;

namespace quillfern::testing {

// A fresh RSA key pair, standing in for one of Google's signing keys.
class TestSigningKey {
public:
    explicit TestSigningKey(int bits = 2048);
    ~TestSigningKey();
    TestSigningKey(const TestSigningKey &) = delete;
    TestSigningKey &operator=(const TestSigningKey &) = delete;

    // The public half as Google publishes it in its JWKS.
    QJsonObject jwk(const QString &kid) const;
    QByteArray signRs256(const QByteArray &input) const;
    QByteArray publicKeyPem() const;

private:
    evp_pkey_st *m_key = nullptr;
};

QByteArray base64Url(const QByteArray &bytes);

} // namespace quillfern::testing
