#include "app/MainWindow.h"

#include "app/Controller.h"
#include "camera/RBMovieView.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace wendle {

MainWindow::MainWindow(Controller &controller, const QString &configFile, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Wendle"));
    auto *layout = new QVBoxLayout(this);
    auto *status = new QLabel(tr("Wendle is listening for commands.\n\nSettings: %1\nActivity log and outbox: %2\n\n"
                                 "Change settings with: wendle config set KEY VALUE")
                                  .arg(configFile, controller.applicationSupportFolder()));
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status);
    // The camera preview; black until the camera runs.
    layout->addWidget(controller.movieView(), 1);
    auto *openLog = new QPushButton(tr("Open Log"));
    connect(openLog, &QPushButton::clicked, this, [&controller] { controller.openLog(); });
    layout->addWidget(openLog);
    auto *quit = new QPushButton(tr("Quit"));
    connect(quit, &QPushButton::clicked, qApp, &QCoreApplication::quit);
    layout->addWidget(quit);
}

} // namespace wendle
