#pragma once

// A line the window keeps showing for a while (the row edit status, the price refresh status, the error
// banner): made in the language the window speaks, and made again when the user picks another, so that
// nothing on screen stays in the language it was made in. A text that came from elsewhere as it is (the
// service's words) stays as it is.

#include "text/Localization.h"

#include <QString>

#include <functional>
#include <utility>

namespace quillfern {

class StatusLine {
public:
    using Make = std::function<QString(const QString &languageCode)>;

    StatusLine() = default;
    // A text as it is, in whatever language it came.
    explicit StatusLine(QString text) : m_text(std::move(text)) {}
    // A text made by make in languageCode now, and in another language by retranslate().
    StatusLine(Make make, const QString &languageCode) : m_make(std::move(make)), m_text(m_make(languageCode)) {}

    // A catalogue text without arguments; key must outlive the line (a literal does).
    static StatusLine of(const char16_t *key, const QString &languageCode)
    {
        return StatusLine([key](const QString &language) { return AppText::value(QStringView(key), language); },
                          languageCode);
    }

    const QString &text() const { return m_text; }

    // Makes the text again in languageCode; false when it reads the same as before.
    bool retranslate(const QString &languageCode)
    {
        if (!m_make)
            return false;
        QString text = m_make(languageCode);
        if (text == m_text)
            return false;
        m_text = std::move(text);
        return true;
    }

private:
    Make m_make;
    QString m_text;
};

} // namespace quillfern
