// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace app {

// The skin engine every window borrows from the browser. A skin file is
// plain UTF-8 text made of sections, each headed by an element name in
// brackets on a line of its own and holding a Qt style sheet:
//
//     [Window]
//     QMainWindow { background: #eef1f5; }
//     [Toolbar]
//     QToolBar { border: 1px solid #d5dae1; }
//
// Element names: "Window", "Toolbar", "Splitter", "StatusBar", "smallform",
// "Button", "Label" (case-insensitive). Text before the first heading and
// lines starting with ";" outside a style sheet's braces are comments.
// A missing or unreadable file, or one without a usable section, loads
// nothing and leaves every window's default look; a section whose braces do
// not balance is dropped on its own.
class SkinEngine : public QObject
{
    Q_OBJECT

public:
    explicit SkinEngine(QObject *parent = nullptr);

    // Replaces the loaded skin. False when nothing usable was read; the
    // engine is then empty and the apply operations change nothing.
    bool loadSkin(const QString &path);
    // Same, from text already in memory.
    bool loadSkinText(const QString &text);

    bool isLoaded() const { return !m_sections.isEmpty(); }
    // The style sheet of an element, empty when the skin has none.
    QString styleSheetOf(const QString &element) const;
    QStringList elements() const;

    // Skins a top-level window with the "Window" element; its children
    // inherit it.
    void applySkin(QWidget *window);
    // Skins one child with the named element.
    void applySkinByName(QWidget *child, const QString &element);

    static QStringList knownElements();

signals:
    // A style sheet went onto target; element is "Window" for applySkin.
    void applied(QWidget *target, const QString &element);

private:
    QHash<QString, QString> m_sections; // lower-cased element -> style sheet
};

} // namespace app
