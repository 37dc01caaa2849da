#pragma once

#include <QMainWindow>

#include <memory>

class Config;
class QLabel;

// The desktop mode's window. It owns the process's configuration store.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    std::unique_ptr<Config> config;

private:
    QLabel *statusLabel = nullptr;
};
