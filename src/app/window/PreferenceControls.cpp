#include "app/window/PreferenceControls.h"

#include "app/ConfigCommand.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ShellWords.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

namespace wendle {

PreferenceControls::PreferenceControls(Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
}

void PreferenceControls::bind(std::function<void()> load)
{
    load();
    m_loaders.push_back(std::move(load));
}

QCheckBox *PreferenceControls::checkBox(const char *key, const QString &label)
{
    auto *box = new QCheckBox(label);
    box->setObjectName(QLatin1String(key));
    bind([this, box, key] {
        const QSignalBlocker quiet(box);
        box->setChecked(m_preferences.boolValue(QLatin1String(key)));
    });
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) { m_preferences.setValue(QLatin1String(key), on); });
    return box;
}

QSpinBox *PreferenceControls::spinBox(const char *key, int minimum, int maximum, const QString &suffix)
{
    auto *box = new QSpinBox;
    box->setObjectName(QLatin1String(key));
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    bind([this, box, key] {
        const QSignalBlocker quiet(box);
        box->setValue(m_preferences.intValue(QLatin1String(key)));
    });
    connect(box, &QSpinBox::valueChanged, this, [this, key](int value) { m_preferences.setValue(QLatin1String(key), value); });
    return box;
}

QDoubleSpinBox *PreferenceControls::doubleSpinBox(const char *key, double minimum, double maximum, double step, int decimals)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(key));
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    box->setKeyboardTracking(false);
    bind([this, box, key] {
        const QSignalBlocker quiet(box);
        box->setValue(m_preferences.doubleValue(QLatin1String(key)));
    });
    connect(box, &QDoubleSpinBox::valueChanged, this,
            [this, key](double value) { m_preferences.setValue(QLatin1String(key), value); });
    return box;
}

QLineEdit *PreferenceControls::lineEdit(const char *key, const QString &placeholder)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QLatin1String(key));
    edit->setPlaceholderText(placeholder);
    bind([this, edit, key] {
        const QSignalBlocker quiet(edit);
        // Only a change of the stored text moves the cursor of a field being typed in.
        const QString stored = m_preferences.stringValue(QLatin1String(key));
        if (edit->text() != stored)
            edit->setText(stored);
    });
    // textEdited, not textChanged: refreshing from the store must not write back.
    connect(edit, &QLineEdit::textEdited, this, [this, key](const QString &text) {
        const QString name = QLatin1String(key);
        if (text.isEmpty() && !m_preferences.registeredDefaults().contains(name))
            m_preferences.remove(name);
        else
            m_preferences.setValue(name, text);
    });
    return edit;
}

QLineEdit *PreferenceControls::argumentEdit(const char *key, const QString &placeholder)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QLatin1String(key));
    edit->setPlaceholderText(placeholder);
    bind([this, edit, key] {
        const QSignalBlocker quiet(edit);
        const QString shown = displaySettingValue(QLatin1String(key), m_preferences.value(QLatin1String(key)));
        const std::optional<QStringList> typed = splitShellWords(edit->text());
        // Text that already means the stored words stays as the owner typed it.
        if (!typed || QVariant(*typed).toStringList() != m_preferences.value(QLatin1String(key)).toStringList())
            edit->setText(shown);
    });
    connect(edit, &QLineEdit::textEdited, this, [this, key](const QString &text) {
        const QString name = QLatin1String(key);
        const std::optional<QStringList> words = splitShellWords(text);
        if (!words)
            return;
        if (words->isEmpty())
            m_preferences.remove(name);
        else
            m_preferences.setValue(name, *words);
    });
    return edit;
}

QComboBox *PreferenceControls::choice(const char *key, const QStringList &words)
{
    auto *box = new QComboBox;
    box->setObjectName(QLatin1String(key));
    box->addItems(words);
    bind([this, box, key] {
        const QSignalBlocker quiet(box);
        const QString stored = m_preferences.stringValue(QLatin1String(key));
        if (box->findText(stored) < 0)
            box->addItem(stored);
        box->setCurrentIndex(box->findText(stored));
    });
    connect(box, &QComboBox::activated, this,
            [this, box, key](int index) { m_preferences.setValue(QLatin1String(key), box->itemText(index)); });
    return box;
}

void PreferenceControls::refresh()
{
    for (const auto &load : m_loaders)
        load();
}

} // namespace wendle
