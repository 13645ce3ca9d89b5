#include "tree/TreeRemote.h"

#include <utility>

void TTreeRemote::StartFile(int, TTreeFileJob Job) {
    OnFilePosition = std::move(Job.OnPosition);
    const bool ok = Job.Upload ? Send(Job.LocalPath, Job.Remote, Job.ResumeAt)
                               : Receive(Job.Remote, Job.LocalPath, Job.ResumeAt > 0);
    OnFilePosition = nullptr;
    Job.OnDone(ok, ok ? std::string() : LastError());
}
