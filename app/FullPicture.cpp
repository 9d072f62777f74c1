#include "app/FullPicture.h"

#include <QMetaObject>
#include <QThreadPool>

#include <condition_variable>

namespace {

// Thrown from a progress report to end a decode nobody waits for any more.
struct TCancelled {};

} // namespace

struct TFullPictureLoader::TJob {
    QString FileName;
    TGraphicClass GraphicClass = nullptr;
    std::atomic<bool> Cancelled{false};
    std::mutex Lock;
    std::condition_variable Ended;
    bool Done = false;
    std::unique_ptr<TGraphic> Result;
    QString Error;
};

TFullPictureLoader::TFullPictureLoader(QObject* parent) : QObject(parent), FPool(std::make_unique<QThreadPool>()) {
    FPool->setMaxThreadCount(1);
}

TFullPictureLoader::~TFullPictureLoader() {
    Cancel();
    FPool->waitForDone();
}

void TFullPictureLoader::Start(const QString& fileName, TGraphicClass graphicClass) {
    Cancel();
    auto job = std::make_shared<TJob>();
    job->FileName = fileName;
    job->GraphicClass = graphicClass;
    FJob = job;
    FPending = true;
    FError.clear();
    FPool->start([this, job] {
        std::unique_ptr<TGraphic> graphic;
        QString error;
        try {
            if (job->Cancelled) throw TCancelled();
            graphic = job->GraphicClass->Create();
            graphic->OnProgress = [job](TGraphic*, TProgressStage, quint8, bool, const QRect&, const QString&) {
                if (job->Cancelled) throw TCancelled();
            };
            graphic->LoadFromFileName(job->FileName);
            if (graphic->Reduced()) graphic->CompleteLoad();
            graphic->OnProgress = nullptr;
            if (graphic->Reduced()) throw EInvalidGraphic(QStringLiteral("The picture cannot be decoded in full"));
        } catch (const TCancelled&) {
            graphic.reset();
        } catch (const Exception& e) {
            graphic.reset();
            error = e.Message();
        } catch (const std::bad_alloc&) {
            graphic.reset();
            error = QStringLiteral("Not enough memory");
        } catch (const std::exception& e) {
            graphic.reset();
            error = QString::fromLocal8Bit(e.what());
        }
        {
            std::lock_guard<std::mutex> hold(job->Lock);
            job->Result = std::move(graphic);
            job->Error = error;
            job->Done = true;
        }
        job->Ended.notify_all();
        if (!job->Cancelled)
            QMetaObject::invokeMethod(this, [this, job] { Deliver(job); }, Qt::QueuedConnection);
    });
}

void TFullPictureLoader::Deliver(const std::shared_ptr<TJob>& job) {
    if (job == FJob && FPending) emit Finished();
}

void TFullPictureLoader::Cancel() {
    if (FJob) FJob->Cancelled = true;
    FJob.reset();
    FPending = false;
}

void TFullPictureLoader::Wait() {
    const std::shared_ptr<TJob> job = FJob;
    if (!job) return;
    std::unique_lock<std::mutex> hold(job->Lock);
    job->Ended.wait(hold, [&] { return job->Done; });
}

std::unique_ptr<TGraphic> TFullPictureLoader::Take() {
    const std::shared_ptr<TJob> job = FJob;
    if (!job) return nullptr;
    std::lock_guard<std::mutex> hold(job->Lock);
    if (!job->Done) return nullptr;
    FPending = false;
    FJob.reset();
    FError = job->Error;
    return std::move(job->Result);
}
