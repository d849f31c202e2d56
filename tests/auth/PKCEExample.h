#pragma once

#include <QByteArray>
#include <QString>

namespace quillfern::testing {

// The random bytes of the worked example for S256 challenges, with its known verifier and challenge.
inline const QByteArray exampleBytes =
    QByteArray::fromHex("7418dfb49799e0254ffa607dd8adbbba16d4254d69d6bff05b5805585384"
                        "8d79");
inline const QString exampleVerifier = QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
inline const QString exampleChallenge = QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");

} // namespace quillfern::testing
