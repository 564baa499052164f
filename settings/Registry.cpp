// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Registry.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/LockFiles.h"
#include "settings/Logging.h"

namespace settings {

namespace {

QString g_folder;
std::function<bool(Root)> g_writableCheck;

// One key of the tree. Children and values keep their creation order; the
// indexes find them by case-folded name in constant time, so that a key with
// tens of thousands of values loads in linear time.
struct Node
{
    QString name;
    std::vector<std::pair<QString, Registry::Value>> values;
    std::vector<std::unique_ptr<Node>> children;
    QHash<QString, qsizetype> valueIndex;
    QHash<QString, qsizetype> childIndex;
    // Members of the key's object this version does not know, written back
    // as they were read so that a newer version's data survives.
    QJsonObject unknown;

    static QString folded(const QString &name) { return name.toCaseFolded(); }

    Node *child(const QString &childName) const
    {
        const auto it = childIndex.constFind(folded(childName));
        return it == childIndex.constEnd() ? nullptr : children[size_t(*it)].get();
    }

    Registry::Value *value(const QString &valueName)
    {
        const auto it = valueIndex.constFind(folded(valueName));
        return it == valueIndex.constEnd() ? nullptr : &values[size_t(*it)].second;
    }

    Node *addChild(const QString &childName)
    {
        childIndex.insert(folded(childName), qsizetype(children.size()));
        children.push_back(std::make_unique<Node>());
        children.back()->name = childName;
        return children.back().get();
    }

    void addValue(const QString &valueName, const Registry::Value &v)
    {
        valueIndex.insert(folded(valueName), qsizetype(values.size()));
        values.emplace_back(valueName, v);
    }

    bool removeChild(const QString &childName)
    {
        const auto it = childIndex.constFind(folded(childName));
        if (it == childIndex.constEnd())
            return false;
        children.erase(children.begin() + *it);
        childIndex.clear();
        for (size_t i = 0; i < children.size(); ++i)
            childIndex.insert(folded(children[i]->name), qsizetype(i));
        return true;
    }

    bool removeValue(const QString &valueName)
    {
        const auto it = valueIndex.constFind(folded(valueName));
        if (it == valueIndex.constEnd())
            return false;
        values.erase(values.begin() + *it);
        valueIndex.clear();
        for (size_t i = 0; i < values.size(); ++i)
            valueIndex.insert(folded(values[i].first), qsizetype(i));
        return true;
    }
};

// Store files beyond this size are not read (they are kept aside as damaged
// on the next write): no set of settings and file types comes near it, and
// a huge file would hold every reader up.
constexpr qint64 kMaxStoreBytes = qint64(16) * 1024 * 1024;
// Keys nested deeper than this are not read; the file is then treated as
// damaged so that the next write keeps a copy of it.
constexpr int kMaxDepth = 64;

QStringList splitKey(const QString &key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// Store file layout: {"values": [[name, data, "expand"?]...], "keys": [{"name":..., ...}]}
// Entries that cannot be read (wrong types, repeated names, keys nested too
// deep) are left out and set *lossy, so that the file is kept aside before
// the next write drops them for good.
void fromJson(Node &node, const QJsonObject &object, int depth, bool *lossy)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.key() != QLatin1String("name") && it.key() != QLatin1String("values") &&
            it.key() != QLatin1String("keys"))
            node.unknown.insert(it.key(), it.value());
    const QJsonValue valuesField = object.value(QLatin1String("values"));
    if (!valuesField.isUndefined() && !valuesField.isArray())
        *lossy = true;
    const QJsonArray values = valuesField.toArray();
    for (const auto &entry : values) {
        const QJsonArray v = entry.toArray();
        const bool known = v.size() == 2 || (v.size() == 3 && v.at(2).isString());
        if (!known || !v.at(0).isString() || !v.at(1).isString() ||
            node.value(v.at(0).toString())) {
            *lossy = true;
            continue;
        }
        node.addValue(v.at(0).toString(),
                      {v.at(1).toString(), v.at(2).toString() == QLatin1String("expand")});
    }
    const QJsonValue keysField = object.value(QLatin1String("keys"));
    if (!keysField.isUndefined() && !keysField.isArray())
        *lossy = true;
    const QJsonArray keys = keysField.toArray();
    if (!keys.isEmpty() && depth >= kMaxDepth) {
        *lossy = true;
        return;
    }
    for (const auto &entry : keys) {
        const QJsonObject k = entry.toObject();
        const QString name = k.value(QLatin1String("name")).toString();
        if (name.isEmpty() || name.contains(QLatin1Char('\\')) || node.child(name)) {
            *lossy = true;
            continue;
        }
        fromJson(*node.addChild(name), k, depth + 1, lossy);
    }
}

// A string as JSON text (UTF-8, with the escapes JSON requires).
void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char ch : text.toUtf8()) {
        const auto c = uchar(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

// Writes the tree as JSON text directly, one value or key to a line: many
// times faster than building a QJsonDocument of a large key first.
void appendJson(QByteArray &out, const Node &node)
{
    out += '{';
    bool first = true;
    const auto member = [&](const char *name) {
        if (!first)
            out += ',';
        first = false;
        out += '"';
        out += name;
        out += "\":";
    };
    if (!node.name.isEmpty()) {
        member("name");
        appendString(out, node.name);
    }
    if (!node.values.empty()) {
        member("values");
        out += '[';
        for (size_t i = 0; i < node.values.size(); ++i) {
            out += i ? ",\n[" : "\n[";
            appendString(out, node.values[i].first);
            out += ',';
            appendString(out, node.values[i].second.data);
            if (node.values[i].second.expand)
                out += ",\"expand\"";
            out += ']';
        }
        out += ']';
    }
    if (!node.children.empty()) {
        member("keys");
        out += '[';
        for (size_t i = 0; i < node.children.size(); ++i) {
            out += i ? ",\n" : "\n";
            appendJson(out, *node.children[i]);
        }
        out += ']';
    }
    for (auto it = node.unknown.begin(); it != node.unknown.end(); ++it) {
        if (!first)
            out += ',';
        first = false;
        appendString(out, it.key());
        out += ':';
        // A value of its own kind, written as Qt writes it: inside an array,
        // whose brackets are then left out.
        const QByteArray wrapped =
            QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact);
        out += QByteArrayView(wrapped).sliced(1, wrapped.size() - 2);
    }
    out += '}';
}

// Reads a store file, refusing anything but a regular file of a sane size:
// a pipe or device in its place would block the reader forever. Opened
// without blocking, then checked on the open descriptor, so that nothing
// can be swapped in between. nullopt when the file cannot be read.
enum class ReadStatus
{
    Ok,
    Missing,
    Unreadable
};

ReadStatus readStoreFile(const QString &path, QByteArray *data)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        qCWarning(lcSettings, "%s is not a regular file; it is not read", qUtf8Printable(path));
        return ReadStatus::Unreadable;
    }
    if (st.st_size > kMaxStoreBytes) {
        ::close(fd);
        qCWarning(lcSettings, "%s is larger than %lld bytes; it is not read", qUtf8Printable(path),
                  qlonglong(kMaxStoreBytes));
        return ReadStatus::Unreadable;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ReadStatus::Unreadable;
    }
    // What fstat said, and a byte more to see a file that grew meanwhile.
    *data = file.read(qint64(st.st_size) + 1);
    if (file.error() != QFileDevice::NoError || data->size() > kMaxStoreBytes)
        return ReadStatus::Unreadable;
    return ReadStatus::Ok;
}

// A damaged or missing file reads as an empty root; *damaged tells which.
// A file read only in part (entries this version cannot take) counts as
// damaged too: its readable part is kept, and the whole file set aside.
Node load(Root root, bool *damaged = nullptr)
{
    Node tree;
    if (damaged)
        *damaged = false;
    QByteArray data;
    const ReadStatus status = readStoreFile(Registry::fileOf(root), &data);
    if (status == ReadStatus::Missing)
        return tree;
    if (status == ReadStatus::Unreadable) {
        if (damaged)
            *damaged = true;
        return tree;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    bool lossy = false;
    if (doc.isObject())
        fromJson(tree, doc.object(), 0, &lossy);
    else
        lossy = !data.trimmed().isEmpty();
    if (lossy) {
        qCWarning(lcSettings, "%s is damaged; what cannot be read is kept aside on the next write",
                  qUtf8Printable(Registry::fileOf(root)));
        if (damaged)
            *damaged = true;
        if (!doc.isObject())
            tree = Node();
    }
    return tree;
}

Node *find(Node &tree, const QString &key)
{
    Node *node = &tree;
    for (const QString &part : splitKey(key)) {
        node = node->child(part);
        if (!node)
            return nullptr;
    }
    return node;
}

Node *findOrCreate(Node &tree, const QString &key)
{
    Node *node = &tree;
    for (const QString &part : splitKey(key)) {
        Node *next = node->child(part);
        node = next ? next : node->addChild(part);
    }
    return node;
}

// Keeps the file at path as path + ".damaged". A hard link keeps whatever is
// there (a symbolic link stays a link, a pipe is not opened) and leaves the
// name in place until the new file replaces it; a copy is the fallback.
void keepAside(const QString &path)
{
    const QString aside = path + QLatin1String(".damaged");
    QFile::remove(aside);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        return;
    QByteArray data;
    if (readStoreFile(path, &data) == ReadStatus::Ok) {
        QFile copy(aside);
        if (copy.open(QIODevice::WriteOnly))
            copy.write(data);
    }
}

// Writes a root's tree atomically; whatever could not be read before is kept
// aside rather than overwritten. The new file is renamed over the old name,
// which replaces a symbolic link there instead of writing through it.
bool save(Root root, const Node &tree, bool damaged)
{
    const QString path = Registry::fileOf(root);
    QByteArray data;
    appendJson(data, tree);
    data += '\n';
    QTemporaryFile file(path + QLatin1String(".XXXXXX"));
    file.setAutoRemove(true);
    if (!file.open())
        return false;
    if (file.write(data) != data.size() || !file.flush() || ::fsync(file.handle()) != 0)
        return false;
    if (damaged)
        keepAside(path);
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

constexpr int kStaleLockMs = 10000; // a lock file without an owner is stale after this
constexpr int kLockWaitMs = 15000;  // how long a write waits for the lock
constexpr int kLockStepMs = 500;

// Takes the cross-process lock of a root. A writer that died holding the
// lock leaves its process id in it, and the lock is taken over at once; only
// a lock file without an owner waits out the stale time. So does the guard
// Qt takes while it removes a dead writer's lock, when the process removing
// it was killed too.
std::unique_ptr<QLockFile> lockRoot(Root root)
{
    const QString path = Registry::fileOf(root);
    if (!Registry::isWritable(root) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return nullptr;
    // Anything but a regular file under the lock's name (a folder, a pipe)
    // would make the lock wait and then read it: the root cannot be written.
    const QString lockPath = path + QLatin1String(".lock");
    struct stat st = {};
    if (::lstat(QFile::encodeName(lockPath).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        qCWarning(lcSettings, "%s is not a regular file; the settings cannot be stored",
                  qUtf8Printable(lockPath));
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(lockPath);
    lock->setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kLockWaitMs);
    while (!lock->tryLock(kLockStepMs)) {
        if (lock->error() != QLockFile::LockFailedError || deadline.hasExpired())
            return nullptr;
        core::removeOwnerlessRemovalGuard(lockPath, kStaleLockMs);
    }
    return lock;
}

// A batch keeps each root it touches locked and in memory until it ends,
// then writes each changed root once.
struct BatchRoot
{
    std::unique_ptr<QLockFile> lock;
    Node tree;
    bool damaged = false;
    bool dirty = false;
};
struct BatchState
{
    std::map<int, BatchRoot> roots;
};
thread_local BatchState *t_batch = nullptr;

// Runs f on the current tree of a root: the batch's copy inside a batch,
// the file's content otherwise.
template <typename F> auto read(Root root, F f)
{
    if (t_batch) {
        const auto it = t_batch->roots.find(int(root));
        if (it != t_batch->roots.end())
            return f(it->second.tree);
    }
    Node tree = load(root);
    return f(tree);
}

// Runs a read-modify-write of one root under the cross-process lock. The edit
// returns false to leave the file untouched (and the call reports failure).
template <typename Edit> bool modify(Root root, Edit edit)
{
    if (t_batch) {
        auto it = t_batch->roots.find(int(root));
        if (it == t_batch->roots.end()) {
            auto lock = lockRoot(root);
            if (!lock)
                return false;
            BatchRoot entry;
            entry.lock = std::move(lock);
            entry.tree = load(root, &entry.damaged);
            it = t_batch->roots.emplace(int(root), std::move(entry)).first;
        }
        if (!edit(it->second.tree))
            return false;
        it->second.dirty = true;
        return true;
    }
    const auto lock = lockRoot(root);
    if (!lock)
        return false;
    bool damaged = false;
    Node tree = load(root, &damaged);
    if (!edit(tree))
        return false;
    return save(root, tree, damaged);
}

} // namespace

QString Registry::folder()
{
    if (!g_folder.isEmpty())
        return g_folder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/Pictavo/registry");
}

void Registry::setFolder(const QString &folder)
{
    g_folder = folder;
}

QString Registry::fileOf(Root root)
{
    static const char *const names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                        "HKEY_LOCAL_MACHINE"};
    const int index = (int(root) >= 0 && int(root) <= 2) ? int(root) : 1;
    return folder() + QLatin1Char('/') + QLatin1String(names[index]) + QLatin1String(".json");
}

bool Registry::keyExists(Root root, const QString &key)
{
    return read(root, [&](Node &tree) { return find(tree, key) != nullptr; });
}

std::optional<Registry::Value> Registry::value(Root root, const QString &key, const QString &name)
{
    return read(root, [&](Node &tree) -> std::optional<Value> {
        Node *node = find(tree, key);
        if (!node)
            return std::nullopt;
        if (const Value *v = node->value(name))
            return *v;
        return std::nullopt;
    });
}

QStringList Registry::subKeys(Root root, const QString &key)
{
    return read(root, [&](Node &tree) {
        QStringList names;
        if (Node *node = find(tree, key))
            for (const auto &c : node->children)
                names << c->name;
        return names;
    });
}

QStringList Registry::valueNames(Root root, const QString &key)
{
    return read(root, [&](Node &tree) {
        QStringList names;
        if (Node *node = find(tree, key))
            for (const auto &v : node->values)
                names << v.first;
        return names;
    });
}

bool Registry::createKey(Root root, const QString &key)
{
    return modify(root, [&](Node &tree) { return findOrCreate(tree, key) != nullptr; });
}

bool Registry::setValue(Root root, const QString &key, const QString &name, const Value &value)
{
    return modify(root, [&](Node &tree) {
        Node *node = findOrCreate(tree, key);
        if (Value *existing = node->value(name))
            *existing = value;
        else
            node->addValue(name, value);
        return true;
    });
}

bool Registry::deleteValue(Root root, const QString &key, const QString &name)
{
    return modify(root, [&](Node &tree) {
        Node *node = find(tree, key);
        return node && node->removeValue(name);
    });
}

bool Registry::deleteKey(Root root, const QString &key)
{
    QStringList parts = splitKey(key);
    if (parts.isEmpty())
        return false;
    const QString last = parts.takeLast();
    return modify(root, [&](Node &tree) {
        Node *parent = find(tree, parts.join(QLatin1Char('\\')));
        if (!parent)
            return false;
        const Node *child = parent->child(last);
        if (!child || !child->children.empty())
            return false;
        return parent->removeChild(last);
    });
}

void Registry::setWritableCheck(std::function<bool(Root root)> check)
{
    g_writableCheck = std::move(check);
}

bool Registry::isWritable(Root root)
{
    if (g_writableCheck)
        return g_writableCheck(root);
    const QFileInfo file(fileOf(root));
    if (file.exists())
        return file.isWritable() && QFileInfo(file.absolutePath()).isWritable();
    // The folder is made on the first write: its nearest existing ancestor
    // decides. (QDir::cdUp cannot climb out of a missing folder.)
    QString folder = file.absolutePath();
    while (!QFileInfo(folder).exists()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            break;
        folder = parent;
    }
    const QFileInfo existing(folder);
    return existing.isDir() && existing.isWritable();
}

} // namespace settings

namespace settings {

Registry::Batch::Batch()
{
    if (!t_batch) {
        t_batch = new BatchState;
        m_owner = true;
    }
}

Registry::Batch::~Batch()
{
    commit();
}

bool Registry::Batch::commit()
{
    if (!m_owner || !t_batch)
        return true;
    bool ok = true;
    for (auto &[root, entry] : t_batch->roots)
        if (entry.dirty)
            ok = save(Root(root), entry.tree, entry.damaged) && ok;
    delete t_batch;
    t_batch = nullptr;
    m_owner = false;
    return ok;
}

} // namespace settings
