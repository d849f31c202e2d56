#include "app/table/CellEditors.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "app/workspace/EditDebugLog.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace quillfern::table {

namespace {

void trace(const QString &kind, const QString &field, const QString &text)
{
    EditDebugLog::write(QStringLiteral("[Quillfern][Edit][") + kind + QStringLiteral("] ") + field + text);
}

// The window's locale follows the interface language: "ja_JP" speaks "ja-JP".
QString languageOf(const QWidget *widget)
{
    return widget->locale().name().replace(QLatin1Char('_'), QLatin1Char('-'));
}

} // namespace

EditingTextCell::EditingTextCell(QString fieldName, QWidget *parent)
    : QLineEdit(parent), m_fieldName(std::move(fieldName))
{
    setFrame(true);
    setPlaceholderText(QString());
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        trace(QStringLiteral("Binding"), m_fieldName, QStringLiteral(" <- ") + text);
        Q_EMIT valueEdited(text);
    });
    connect(this, &QLineEdit::returnPressed, this,
            [this] { trace(QStringLiteral("Commit"), m_fieldName, QStringLiteral(" value=") + text()); });
}

void EditingTextCell::setValue(const QString &value)
{
    if (m_value == value)
        return;
    if (m_value)
        trace(QStringLiteral("State"), m_fieldName, QStringLiteral(" = ") + value);
    m_value = value;
    if (text() != value)
        setText(value);
}

void EditingTextCell::focusInEvent(QFocusEvent *event)
{
    trace(QStringLiteral("Focus"), m_fieldName, QStringLiteral(" editing=true"));
    QLineEdit::focusInEvent(event);
}

void EditingTextCell::focusOutEvent(QFocusEvent *event)
{
    trace(QStringLiteral("Focus"), m_fieldName, QStringLiteral(" editing=false"));
    QLineEdit::focusOutEvent(event);
}

EditingNumberCell::EditingNumberCell(QString fieldName, int precision, const QString &prefix, QWidget *parent)
    : QWidget(parent), m_fieldName(std::move(fieldName)), m_precision(precision), m_field(new QLineEdit(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(editorInset, 0, editorInset, 0);
    layout->setSpacing(3);
    if (!prefix.isEmpty()) {
        m_prefix = new QLabel(prefix, this);
        QPalette secondary = m_prefix->palette();
        secondary.setColor(QPalette::WindowText, secondaryText(palette()));
        m_prefix->setPalette(secondary);
        layout->addWidget(m_prefix);
    }
    m_field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_field, 1);
    setFocusProxy(m_field);
    connect(m_field, &QLineEdit::textEdited, this, &EditingNumberCell::readTyped);
    // What was typed is shown again in the cell's own form once the field is left; refused text stays, so
    // that it is still marked and the row cannot be saved over it.
    connect(m_field, &QLineEdit::editingFinished, this, [this] {
        if (m_value && m_valid) {
            m_beforeTyping.reset();
            m_field->setText(decimal(*m_value, m_precision));
        }
    });
}

void EditingNumberCell::readTyped(const QString &text)
{
    if (!m_beforeTyping)
        m_beforeTyping = m_value;
    const auto typed = readDecimal(text);
    setValid(typed.has_value());
    // Refused text binds nothing, and takes back what its first digits wrote: "30a0" leaves no 30 behind.
    const std::optional<double> bound = typed ? typed : m_beforeTyping;
    if (!bound || (!typed && bound == m_value))
        return;
    trace(QStringLiteral("Binding"), m_fieldName, QStringLiteral(" <- ") + EditDebugLog::number(*bound));
    Q_EMIT valueEdited(*bound);
}

void EditingNumberCell::setValid(bool valid)
{
    if (m_valid == valid)
        return;
    m_valid = valid;
    showValidity();
}

void EditingNumberCell::showValidity()
{
    if (m_valid) {
        m_field->setPalette(QPalette());
        m_field->setToolTip(QString());
        m_field->setAccessibleDescription(QString());
        return;
    }
    QPalette look = palette();
    const QColor warning = red(look);
    look.setColor(QPalette::Base, withOpacity(warning, 0.12));
    look.setColor(QPalette::Text, warning);
    look.setColor(QPalette::Highlight, warning);
    m_field->setPalette(look);
    // The example is written in the number locale.
    const QString message = AppText::format(u"invalidNumber", languageOf(this), {decimal(1234.5, 2)});
    m_field->setToolTip(message);
    m_field->setAccessibleDescription(message);
}

void EditingNumberCell::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LocaleChange && !m_valid)
        showValidity();
    QWidget::changeEvent(event);
}

std::optional<double> EditingNumberCell::typedValue() const
{
    if (const auto typed = readDecimal(m_field->text()))
        return typed;
    return m_beforeTyping;
}

void EditingNumberCell::setValue(double value)
{
    const bool changed = !m_value || *m_value != value;
    if (m_value && changed)
        trace(QStringLiteral("State"), m_fieldName, QStringLiteral(" = ") + EditDebugLog::number(value));
    m_value = value;
    // Refused text stays while the row holds what it held before the typing; a change made elsewhere
    // replaces it.
    if (!m_valid && m_beforeTyping == value)
        return;
    // Text being typed is left alone when it already says this value.
    if (changed && readDecimal(m_field->text()) != std::optional(value))
        m_field->setText(decimal(value, m_precision));
    else if (m_field->text().isEmpty())
        m_field->setText(decimal(value, m_precision));
    else
        return;
    m_beforeTyping.reset();
    setValid(true);
}

PickerCell::PickerCell(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, [this](int index) { Q_EMIT valueChosen(itemData(index).toString()); });
}

void PickerCell::setOptions(const QStringList &options, const QString &value, const QStringList &labels)
{
    const auto labelAt = [&](qsizetype i) { return labels.size() == options.size() ? labels[i] : options[i]; };
    bool same = count() == options.size();
    for (int i = 0; same && i < count(); ++i)
        same = itemData(i).toString() == options[i] && itemText(i) == labelAt(i);
    if (!same) {
        const QSignalBlocker quiet(this);
        clear();
        for (qsizetype i = 0; i < options.size(); ++i)
            addItem(labelAt(i), options[i]);
    }
    const QSignalBlocker quiet(this);
    setCurrentIndex(int(options.indexOf(value)));
}

EditRowActionsCell::EditRowActionsCell(QWidget *parent)
    : QWidget(parent), m_save(new QToolButton(this)), m_cancel(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(cellInset, 0, cellInset, 0);
    layout->setSpacing(12);
    m_save->setIcon(symbolIcon(QStringLiteral("checkmark.circle.fill"), green(palette())));
    m_save->setAutoRaise(true);
    m_cancel->setIcon(symbolIcon(QStringLiteral("xmark.circle")));
    m_cancel->setAutoRaise(true);
    retranslate();
    for (QToolButton *button : {m_save, m_cancel}) {
        button->setIconSize(QSize(16, 16));
        button->setFixedSize(20, 20);
    }
    layout->addWidget(m_save);
    layout->addWidget(m_cancel);
    layout->addStretch();
    connect(m_save, &QToolButton::clicked, this, &EditRowActionsCell::saveRequested);
    connect(m_cancel, &QToolButton::clicked, this, &EditRowActionsCell::cancelRequested);
}

void EditRowActionsCell::retranslate()
{
    const QString language = languageOf(this);
    const QString save = AppText::value(u"saveEditedRow", language);
    const QString cancel = AppText::value(u"cancel", language);
    m_save->setToolTip(save);
    m_save->setAccessibleName(save);
    m_cancel->setToolTip(cancel);
    m_cancel->setAccessibleName(cancel);
}

void EditRowActionsCell::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LocaleChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace quillfern::table
