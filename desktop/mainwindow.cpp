#include "mainwindow.h"

#include "config/config.h"
#include "theme.h"

#include <QLabel>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), config(std::make_unique<Config>(false))
{
    setWindowTitle(QStringLiteral("Corvina"));
    resize(config->totalWidth + 60, 700);
    statusLabel = new QLabel(this);
    statusBar()->addWidget(statusLabel, 1);
    applyTheme(*config);
    if (!config->ok) {
        statusLabel->setText(QStringLiteral("Konfigürasyon Hatası: Veritabanı açılamadı!"));
    }
}

MainWindow::~MainWindow() = default;
