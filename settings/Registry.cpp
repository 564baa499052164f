// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <map>
#include <memory>
#include <vector>

namespace settings {

namespace {

QString g_folder;
std::function<bool(Root)> g_writableCheck;

// One key of the tree. Children and values keep their creation order.
struct Node
{
    QString name;
    std::vector<std::pair<QString, Registry::Value>> values;
    std::vector<std::unique_ptr<Node>> children;

    Node *child(const QString &childName) const
    {
        for (const auto &c : children)
            if (c->name.compare(childName, Qt::CaseInsensitive) == 0)
                return c.get();
        return nullptr;
    }

    Registry::Value *value(const QString &valueName)
    {
        for (auto &v : values)
            if (v.first.compare(valueName, Qt::CaseInsensitive) == 0)
                return &v.second;
        return nullptr;
    }
};

QStringList splitKey(const QString &key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// Store file layout: {"values": [[name, data, "expand"?]...], "keys": [{"name":..., ...}]}
void fromJson(Node &node, const QJsonObject &object, int depth)
{
    if (depth > 64)
        return;
    const QJsonArray values = object.value(QLatin1String("values")).toArray();
    for (const auto &entry : values) {
        const QJsonArray v = entry.toArray();
        if (v.size() < 2 || !v.at(0).isString() || !v.at(1).isString())
            continue;
        if (node.value(v.at(0).toString()))
            continue;
        node.values.push_back(
            {v.at(0).toString(),
             {v.at(1).toString(), v.at(2).toString() == QLatin1String("expand")}});
    }
    const QJsonArray keys = object.value(QLatin1String("keys")).toArray();
    for (const auto &entry : keys) {
        const QJsonObject k = entry.toObject();
        const QString name = k.value(QLatin1String("name")).toString();
        if (name.isEmpty() || name.contains(QLatin1Char('\\')) || node.child(name))
            continue;
        auto child = std::make_unique<Node>();
        child->name = name;
        fromJson(*child, k, depth + 1);
        node.children.push_back(std::move(child));
    }
}

QJsonObject toJson(const Node &node)
{
    QJsonObject object;
    if (!node.name.isEmpty())
        object.insert(QLatin1String("name"), node.name);
    QJsonArray values;
    for (const auto &[name, value] : node.values) {
        QJsonArray v{name, value.data};
        if (value.expand)
            v.append(QLatin1String("expand"));
        values.append(v);
    }
    if (!values.isEmpty())
        object.insert(QLatin1String("values"), values);
    QJsonArray keys;
    for (const auto &c : node.children)
        keys.append(toJson(*c));
    if (!keys.isEmpty())
        object.insert(QLatin1String("keys"), keys);
    return object;
}

// A damaged or missing file reads as an empty root; *damaged tells which.
Node load(Root root, bool *damaged = nullptr)
{
    Node tree;
    if (damaged)
        *damaged = false;
    QFile file(Registry::fileOf(root));
    if (!file.open(QIODevice::ReadOnly))
        return tree;
    const QByteArray data = file.readAll();
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (doc.isObject())
        fromJson(tree, doc.object(), 0);
    else if (damaged)
        *damaged = !data.trimmed().isEmpty();
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
        if (!next) {
            node->children.push_back(std::make_unique<Node>());
            next = node->children.back().get();
            next->name = part;
        }
        node = next;
    }
    return node;
}

// Writes a root's tree atomically; whatever could not be read before is kept
// aside rather than overwritten.
bool save(Root root, const Node &tree, bool damaged)
{
    const QString path = Registry::fileOf(root);
    if (damaged) {
        const QString aside = path + QLatin1String(".damaged");
        QFile::remove(aside);
        QFile::copy(path, aside);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = QJsonDocument(toJson(tree)).toJson(QJsonDocument::Indented);
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

// Takes the cross-process lock of a root. A writer that died holding the
// lock leaves its process id in it, and the lock is taken over at once; only
// a lock file without an owner waits out the stale time.
std::unique_ptr<QLockFile> lockRoot(Root root)
{
    const QString path = Registry::fileOf(root);
    if (!Registry::isWritable(root) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return nullptr;
    auto lock = std::make_unique<QLockFile>(path + QLatin1String(".lock"));
    lock->setStaleLockTime(10000);
    if (!lock->tryLock(15000))
        return nullptr;
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
            node->values.emplace_back(name, value);
        return true;
    });
}

bool Registry::deleteValue(Root root, const QString &key, const QString &name)
{
    return modify(root, [&](Node &tree) {
        Node *node = find(tree, key);
        if (!node)
            return false;
        const auto it = std::find_if(node->values.begin(), node->values.end(), [&](const auto &v) {
            return v.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (it == node->values.end())
            return false;
        node->values.erase(it);
        return true;
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
        const auto it =
            std::find_if(parent->children.begin(), parent->children.end(), [&](const auto &c) {
                return c->name.compare(last, Qt::CaseInsensitive) == 0;
            });
        if (it == parent->children.end() || !(*it)->children.empty())
            return false;
        parent->children.erase(it);
        return true;
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
