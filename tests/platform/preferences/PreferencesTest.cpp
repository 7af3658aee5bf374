#include "platform/preferences/SettingsPreferences.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wendle;

TEST(SettingsPreferences, StoredValueOverridesDefaultAndRemovalRestoresIt)
{
    QTemporaryDir dir;
    SettingsPreferences prefs(dir.filePath(QStringLiteral("wendle.conf")));
    prefs.registerDefaults({{QStringLiteral("maxFileSize"), 4}});
    EXPECT_EQ(prefs.intValue(QStringLiteral("maxFileSize")), 4);
    prefs.setValue(QStringLiteral("maxFileSize"), 9);
    EXPECT_EQ(prefs.intValue(QStringLiteral("maxFileSize")), 9);
    prefs.remove(QStringLiteral("maxFileSize"));
    EXPECT_EQ(prefs.intValue(QStringLiteral("maxFileSize")), 4);
}
