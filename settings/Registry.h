// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace settings {

// The three predefined roots of the hierarchical settings store; each is
// kept in a file named after the classic root ("HKEY_LOCAL_MACHINE.json").
enum class Root : int
{
    ClassesRoot = 0,
    CurrentUser = 1,
    LocalMachine = 2
};

// A hierarchical store of keys with named string values, one store file per
// root under the user's configuration folder. Key paths use "\" between
// levels; key and value names compare without regard to case and keep the
// case they were created with. The unnamed value of a key has the name "".
//
// Writes are atomic (a crash leaves the old or the new file, never a torn
// one) and serialised between processes by a lock file, so two processes
// writing at once lose nothing. A damaged store file reads as empty; the next
// write keeps a copy of it beside the new file (".damaged"). A root whose
// folder cannot be written is read-only: reads work, writes fail.
class Registry
{
public:
    struct Value
    {
        QString data;
        bool expand = false; // an expandable string (environment references)
    };

    // Folder that holds the store files; tests point it at a temporary folder.
    static QString folder();
    static void setFolder(const QString &folder); // empty: the default
    static QString fileOf(Root root);

    static bool keyExists(Root root, const QString &key);
    static std::optional<Value> value(Root root, const QString &key, const QString &name);
    // Sub-key names of key, in creation order; empty when key is missing.
    static QStringList subKeys(Root root, const QString &key);
    static QStringList valueNames(Root root, const QString &key);

    // Creates key and any missing parents.
    static bool createKey(Root root, const QString &key);
    // Creates the key if needed and writes the value.
    static bool setValue(Root root, const QString &key, const QString &name, const Value &value);
    static bool deleteValue(Root root, const QString &key, const QString &name);
    // Fails when the key is missing or has sub-keys of its own.
    static bool deleteKey(Root root, const QString &key);
    // True when the root's store can be written. Decided by the file system,
    // or by a check installed with setWritableCheck (tests use it to make a
    // root read-only where file permissions do not stop the user, as for
    // root); an empty check restores the file system's answer.
    static bool isWritable(Root root);
    static void setWritableCheck(std::function<bool(Root root)> check);

    // Groups many writes: while a Batch lives, each root the thread writes
    // stays locked against other processes and is written once, when the
    // batch ends (or commit() is called), instead of once per value. Reads
    // in the batch see its writes. A batch inside a batch joins the outer one.
    class Batch
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        // Writes the changed roots; false when one could not be written.
        bool commit();

    private:
        bool m_owner = false;
    };
};

} // namespace settings
