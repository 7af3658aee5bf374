#pragma once

#include "settings/Settings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;
class QWidget;

namespace wendle {

class Preferences;

// Controls bound to one preference each. A control writes its key the moment
// the owner changes it and shows what the store holds whenever the window
// refreshes, so a value set with `wendle config set` shows up too. Each
// control's object name is its key.
class PreferenceControls : public QObject {
    Q_OBJECT

public:
    explicit PreferenceControls(Preferences &preferences, QObject *parent = nullptr);

    QCheckBox *checkBox(const char *key, const QString &label);
    // Numbers within the range the settings table gives the key.
    QSpinBox *spinBox(const char *key, const QString &suffix = QString());
    QDoubleSpinBox *doubleSpinBox(const char *key, double step, int decimals, const QString &suffix = QString());
    // Text as typed. Emptying a key without a registered default removes it,
    // so it reads as absent again; a key with a default keeps the empty text.
    QLineEdit *lineEdit(const char *key, const QString &placeholder = QString());
    // Text stored only once the owner leaves the field with a value `wendle
    // config set` would take; until then the field keeps what was typed and
    // the label below it says what is wrong. For values that are useless
    // half-typed, like a key fingerprint. The edit is named after the key,
    // the label after the key with "Problem" appended.
    QWidget *checkedEdit(const char *key, const QString &placeholder = QString());
    // A command line, split into words the way a shell splits them; text
    // that does not split (an open quote) is not stored until it does.
    QLineEdit *argumentEdit(const char *key, const QString &placeholder = QString());

    // One of the words the settings table allows; a stored word not among
    // them is shown too.
    QComboBox *choice(const char *key);

    // Reads every bound key afresh from the store.
    void refresh();
    // Runs `load` now and at every refresh: for what follows a stored value
    // without being its control.
    void bind(std::function<void()> load);

private:
    Preferences &m_preferences;
    std::vector<std::function<void()>> m_loaders;
};

} // namespace wendle
