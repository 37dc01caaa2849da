#include "mainwindow.h"

#include "config/config.h"

#include <QLabel>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), config(std::make_unique<Config>(false))
{
    setWindowTitle(QStringLiteral("Corvina"));
    resize(config->totalWidth + 60, 700);
    statusLabel = new QLabel(this);
    statusBar()->addWidget(statusLabel, 1);
    if (!config->ok) {
        centralWidget() ? centralWidget()->setEnabled(false) : void();
        statusLabel->setText(QStringLiteral("Konfigürasyon Hatası: Veritabanı açılamadı!"));
    }
}

MainWindow::~MainWindow() = default;
