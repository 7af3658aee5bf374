#include "app/window/PreferenceControls.h"

#include "app/ConfigCommand.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ShellWords.h"
#include "settings/SettingRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace wendle {

namespace {

// Names the control after its key, shows the stored value now and at every
// refresh with the control's signals blocked, so that a refresh never writes
// back what it just read, and hands each change the owner makes to `store`.
template <typename Control, typename Changed, typename Show, typename Store>
Control *attach(PreferenceControls &controls, Control *control, const char *key, Changed changed, Show show, Store store)
{
    const QString name = QLatin1String(key);
    control->setObjectName(name);
    controls.bind([control, name, show] {
        const QSignalBlocker quiet(control);
        show(control, name);
    });
    QObject::connect(control, changed, &controls, [name, store](const auto &...value) { store(name, value...); });
    return control;
}

} // namespace

PreferenceControls::PreferenceControls(Preferences &preferences, QObject *parent) : QObject(parent), m_preferences(preferences)
{}

void PreferenceControls::bind(std::function<void()> load)
{
    load();
    m_loaders.push_back(std::move(load));
}

QCheckBox *PreferenceControls::checkBox(const char *key, const QString &label)
{
    return attach(
        *this, new QCheckBox(label), key, &QCheckBox::toggled,
        [this](QCheckBox *box, const QString &name) { box->setChecked(m_preferences.boolValue(name)); },
        [this](const QString &name, bool on) { m_preferences.setValue(name, on); });
}

namespace {

QPair<double, double> rangeOf(const char *key)
{
    const SettingInfo *info = findSetting(QLatin1String(key));
    Q_ASSERT(info);
    return settingRange(*info);
}

} // namespace

QSpinBox *PreferenceControls::spinBox(const char *key, const QString &suffix)
{
    auto *box = new QSpinBox;
    const auto [minimum, maximum] = rangeOf(key);
    constexpr double largest = std::numeric_limits<int>::max();
    box->setRange(int(std::clamp(minimum, -largest, largest)), int(std::clamp(maximum, -largest, largest)));
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return attach(
        *this, box, key, &QSpinBox::valueChanged,
        [this](QSpinBox *box, const QString &name) { box->setValue(m_preferences.intValue(name)); },
        [this](const QString &name, int value) { m_preferences.setValue(name, value); });
}

QDoubleSpinBox *PreferenceControls::doubleSpinBox(const char *key, double step, int decimals, const QString &suffix)
{
    auto *box = new QDoubleSpinBox;
    const auto [minimum, maximum] = rangeOf(key);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return attach(
        *this, box, key, &QDoubleSpinBox::valueChanged,
        [this](QDoubleSpinBox *box, const QString &name) { box->setValue(m_preferences.doubleValue(name)); },
        [this](const QString &name, double value) { m_preferences.setValue(name, value); });
}

QLineEdit *PreferenceControls::lineEdit(const char *key, const QString &placeholder)
{
    auto *edit = new QLineEdit;
    edit->setPlaceholderText(placeholder);
    // textEdited, not textChanged: refreshing from the store must not write back.
    return attach(
        *this, edit, key, &QLineEdit::textEdited,
        [this](QLineEdit *edit, const QString &name) {
            // Only a change of the stored text moves the cursor of a field being typed in.
            const QString stored = m_preferences.stringValue(name);
            if (edit->text() != stored)
                edit->setText(stored);
        },
        [this](const QString &name, const QString &text) {
            if (text.isEmpty() && !m_preferences.registeredDefaults().contains(name))
                m_preferences.remove(name);
            else
                m_preferences.setValue(name, text);
        });
}

QWidget *PreferenceControls::checkedEdit(const char *key, const QString &placeholder)
{
    auto *field = new QWidget;
    auto *edit = new QLineEdit;
    edit->setPlaceholderText(placeholder);
    auto *problem = new QLabel;
    problem->setObjectName(QLatin1String(key) + QLatin1String("Problem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #b00020"));
    problem->hide();
    auto *layout = new QVBoxLayout(field);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    layout->addWidget(problem);
    attach(
        *this, edit, key, &QLineEdit::editingFinished,
        [this, problem](QLineEdit *edit, const QString &name) {
            problem->hide();
            edit->setText(m_preferences.stringValue(name));
        },
        [this, edit, problem](const QString &name) {
            const SettingInfo *info = findSetting(name);
            QString error;
            const QVariant value = typedSettingValue(*info, edit->text(), &error);
            problem->setText(error);
            problem->setVisible(!error.isEmpty());
            if (!error.isEmpty())
                return;
            if (value.toString().isEmpty() && !m_preferences.registeredDefaults().contains(name))
                m_preferences.remove(name);
            else
                m_preferences.setValue(name, value);
            edit->setText(value.toString());
        });
    return field;
}

QLineEdit *PreferenceControls::argumentEdit(const char *key, const QString &placeholder)
{
    auto *edit = new QLineEdit;
    edit->setPlaceholderText(placeholder);
    return attach(
        *this, edit, key, &QLineEdit::textEdited,
        [this](QLineEdit *edit, const QString &name) {
            const QVariant stored = m_preferences.value(name);
            const std::optional<QStringList> typed = splitShellWords(edit->text());
            // Text that already means the stored words stays as the owner typed it.
            if (!typed || QVariant(*typed).toStringList() != stored.toStringList())
                edit->setText(displaySettingValue(name, stored));
        },
        [this](const QString &name, const QString &text) {
            const std::optional<QStringList> words = splitShellWords(text);
            if (!words)
                return;
            if (words->isEmpty())
                m_preferences.remove(name);
            else
                m_preferences.setValue(name, *words);
        });
}

QComboBox *PreferenceControls::choice(const char *key)
{
    auto *box = new QComboBox;
    box->addItems(settingChoices(QLatin1String(key)));
    return attach(
        *this, box, key, &QComboBox::activated,
        [this](QComboBox *box, const QString &name) {
            const QString stored = m_preferences.stringValue(name);
            if (box->findText(stored) < 0)
                box->addItem(stored);
            box->setCurrentIndex(box->findText(stored));
        },
        [this, box](const QString &name, int index) { m_preferences.setValue(name, box->itemText(index)); });
}

void PreferenceControls::refresh()
{
    for (const auto &load : m_loaders)
        load();
}

} // namespace wendle
