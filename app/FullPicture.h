// The whole picture behind a reduced first decode: decoded on a thread of its own while the reduced
// one is shown, then handed to the window to swap in. A newer request or Cancel makes a running decode
// give up at its next progress report, so that browsing on never keeps two full pictures being made.
#pragma once

#include "codec/Graphic.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class QThreadPool;

class TFullPictureLoader : public QObject {
    Q_OBJECT
public:
    explicit TFullPictureLoader(QObject* parent = nullptr);
    ~TFullPictureLoader() override; // cancels and waits

    // Decodes fileName in full with a graphic of the class given (a reduced load is completed).
    void Start(const QString& fileName, TGraphicClass graphicClass);
    // Forgets the request; a running decode stops at its next progress report.
    void Cancel();
    // True from Start until the result was taken or the request cancelled.
    bool Pending() const { return FPending; }
    // Blocks until the decode of the current request ended.
    void Wait();
    // The whole picture once the decode ended (nullptr while running, after a failure or a cancel);
    // the request is then no longer pending. Error() says why a decode failed.
    std::unique_ptr<TGraphic> Take();
    const QString& Error() const { return FError; }

signals:
    // The decode of the current request ended (delivered on the loader's thread).
    void Finished();

private:
    struct TJob;
    void Deliver(const std::shared_ptr<TJob>& job);

    std::unique_ptr<QThreadPool> FPool;
    std::shared_ptr<TJob> FJob;
    bool FPending = false;
    QString FError;
};
