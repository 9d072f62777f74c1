// The window's batch tools: "&Batch convert/rename" and "HTML &Album Generator" open the batch dialog
// with their tag; afterwards the folder's list is read again and the picture shown selected again.
#pragma once

#include <QObject>

#include <functional>

class TMainForm;
class TBatchConvForm;

class TBatchController : public QObject {
    Q_OBJECT
public:
    explicit TBatchController(TMainForm& form);

    // tag 0: batch conversion and renaming; 1: the album.
    void Run(int tag);

private:
    TMainForm& FForm;
};
