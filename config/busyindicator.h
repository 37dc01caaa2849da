#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Shown while the main thread waits for a network reply. The core has no widgets: the
// desktop installs a factory on Config that makes a dialog; without one nothing is shown.
class BusyIndicator : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // The person gave up waiting; the request is aborted.
    void canceled();
};

// Called on the main thread with the label and the delay before anything may appear. The
// caller deletes the indicator (deleteLater) once the reply is done.
using BusyIndicatorFactory = std::function<BusyIndicator *(const QString &label, int minimumDurationMs)>;
