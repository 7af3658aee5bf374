#include "app/Controller.h"

#include "custom/ShortcutLibrary.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

namespace wendle {

// Only a list counts as a stored library; anything else the owner may have
// written under the key is treated as nothing stored.
void Controller::loadLibraryFromPrefs()
{
    const QVariant stored = m_platform.preferences.value(RBCustomCommands);
    m_custom.storedLibrary = stored;
    if (stored.typeId() != QMetaType::QVariantList)
        return;
    m_custom.libraryArray = library::shortcutsFromDictionaries(stored.toList());
}

void Controller::takeUpStoredLibrary()
{
    if (m_platform.preferences.value(RBCustomCommands) != m_custom.storedLibrary)
        loadLibraryFromPrefs();
}

std::optional<QVariantList> Controller::dictArrayFromShortcuts() const
{
    if (!m_custom.libraryArray)
        return std::nullopt;
    return library::dictionariesFromShortcuts(*m_custom.libraryArray);
}

const QList<Shortcut> &Controller::libraryArray() const
{
    static const QList<Shortcut> none;
    return m_custom.libraryArray ? *m_custom.libraryArray : none;
}

} // namespace wendle
