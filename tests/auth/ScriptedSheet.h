#pragma once

#include "auth/WebAuthenticationSession.h"

#include <QList>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace quillfern::testing {

// A sign-in sheet that plays a script instead of showing pages: it starts or refuses to, then reports a
// fixed result on the next turn of the event loop, or waits until it is cancelled.
class ScriptedSheet : public WebAuthenticationSession {
    Q_OBJECT

public:
    struct Script {
        bool created = true; // false: the factory returns no sheet at all
        bool starts = true;
        std::optional<WebAuthenticationResult> result; // none: wait for cancel()
    };

    explicit ScriptedSheet(Script script) : m_script(std::move(script)) {}

    bool start() override
    {
        if (!m_script.starts)
            return false;
        m_started = true;
        if (m_script.result)
            QTimer::singleShot(0, this, [this] { report(*m_script.result); });
        return true;
    }

    void cancel() override
    {
        ++cancelCalls;
        if (m_started)
            report(WebAuthenticationResult{std::nullopt, std::nullopt, true});
    }

    int cancelCalls = 0;
    int reports = 0;

private:
    void report(const WebAuthenticationResult &result)
    {
        if (reports++)
            return;
        Q_EMIT finished(result);
    }

    Script m_script;
    bool m_started = false;
};

// What a factory of scripted sheets was asked for.
struct SheetLog {
    QList<QUrl> startURLs;
    QList<QString> schemes;
    QPointer<ScriptedSheet> last;
};

inline WebAuthenticationSessionFactory scriptedSheets(std::shared_ptr<SheetLog> log, ScriptedSheet::Script script)
{
    return [log, script](const QUrl &startURL, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
        log->startURLs.append(startURL);
        log->schemes.append(scheme);
        if (!script.created)
            return nullptr;
        auto sheet = std::make_unique<ScriptedSheet>(script);
        log->last = sheet.get();
        return sheet;
    };
}

} // namespace quillfern::testing
