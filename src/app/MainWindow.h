#pragma once

#include <QWidget>

namespace wendle {

class Controller;

// The small window shown when Wendle runs on a desktop: where its files are,
// the log at a click. Closing it quits Wendle.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow(Controller &controller, const QString &configFile, QWidget *parent = nullptr);
};

} // namespace wendle
