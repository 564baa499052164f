// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace app {

// Tells whether another Pictavo already runs for this user. The first
// process to ask holds the claim until it ends or calls release().
class SingleInstance
{
public:
    virtual ~SingleInstance() = default;
    // True when this process is now the only instance.
    virtual bool claim() = 0;
    virtual void release() = 0;
};

// A lock file in the user's runtime folder. A lock left behind by a process
// that died is taken over. When the lock file cannot be made at all (no
// runtime folder, no permission) Pictavo starts anyway rather than not at all.
class LockFileInstance : public SingleInstance
{
public:
    // lockPath empty: "pictavo.lock" in the runtime folder.
    explicit LockFileInstance(const QString &lockPath = {});
    ~LockFileInstance() override;

    bool claim() override;
    void release() override;
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

std::unique_ptr<SingleInstance> makeSingleInstance();

} // namespace app
