// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/AboutDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "core/Paths.h"
#include "core/Prompts.h"
#include "viewer/BrowserLink.h"

namespace viewer {

namespace {

// Where the platform that first hosted the program registers its
// system-information tool; elsewhere the store holds neither value unless an
// administrator puts one there.
constexpr char16_t kToolKey[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char16_t kToolValue[] = u"PATH";
constexpr char16_t kFolderKey[] = u"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr char16_t kFolderValue[] = u"MSINFO";
constexpr char16_t kToolFile[] = u"MSINFO32.EXE";

constexpr int kValueBuffer = 1024; // bytes, the terminating NUL included

QIcon applicationIcon()
{
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(core::programFolder() + QStringLiteral("/icons/pictavo.png"));
    return icon;
}

// Starts a program with no arguments and no shell between; false when it
// could not be started.
bool startProgram(const QString &program)
{
    return !program.isEmpty() && QProcess::startDetached(program, {});
}

} // namespace

AboutDialog::AboutDialog(QWidget *owner, BrowserLink *skin) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Pictavo"));
    setModal(false);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(16);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(applicationIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    grid->addWidget(icon, 0, 0, 3, 1);

    const QString texts[] = {
        QStringLiteral("Pictavo"),
        QStringLiteral("Version 1.7.0.0"),
        QStringLiteral("Use Pictavo  to easily navigate your favorite images in your computer, "
                       "Slide show in full screen, Save to alot of image formats, Encryption, "
                       "transformations,  and more..."),
        QStringLiteral("Warning: this program is protected by copyright law and is licensed "
                       "under the GNU General Public License, version 3 or later. Reproduction "
                       "or distribution of this program, or any part of it, other than under "
                       "the terms of that licence is not authorised."),
        QStringLiteral("For technical support, please write to support@pictavo.org."),
    };
    QList<QLabel *> labels;
    for (int i = 0; i < 5; ++i) {
        auto *label = new QLabel(texts[i], this);
        label->setObjectName(QStringLiteral("SkinLabel%1").arg(i + 1));
        label->setWordWrap(i >= 2);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        labels << label;
    }
    QFont title = labels[0]->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    labels[0]->setFont(title);
    grid->addWidget(labels[0], 0, 1);
    grid->addWidget(labels[1], 1, 1);
    grid->addWidget(labels[2], 2, 1);
    grid->addWidget(labels[3], 4, 0, 1, 3);
    grid->addWidget(labels[4], 5, 0, 1, 3);
    labels[2]->setMinimumWidth(300);
    labels[3]->setMinimumWidth(460);
    grid->setRowMinimumHeight(3, 8);

    auto *ok = new QPushButton(QStringLiteral("         OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *sysInfo = new QPushButton(QStringLiteral("         &System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    buttons->addStretch(1);
    grid->addLayout(buttons, 0, 2, 3, 1);
    grid->setColumnStretch(1, 1);

    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    connect(sysInfo, &QPushButton::clicked, this, [] { startSysInfo(); });

    // A fixed size: the window manager offers no resizing or maximising.
    grid->setSizeConstraint(QLayout::SetFixedSize);

    if (skin) {
        skin->applySkinElement(this, QStringLiteral("smallform"));
        skin->applySkinElement(ok, QStringLiteral("Button"));
        skin->applySkinElement(sysInfo, QStringLiteral("Button"));
        for (QLabel *label : std::as_const(labels))
            skin->applySkinElement(label, QStringLiteral("Label"));
    }
}

std::optional<QString> AboutDialog::keyValue(settings::Root root, const QString &key,
                                             const QString &name)
{
    const std::optional<settings::Registry::Value> value =
        settings::Registry::value(root, key, name);
    if (!value || value->data.toUtf8().size() + 1 > kValueBuffer)
        return std::nullopt;
    QString text = value->data;
    if (text.endsWith(QChar(u'\0')))
        text.chop(1);
    return text;
}

void AboutDialog::startSysInfo()
{
    using settings::Root;
    bool started = false;
    if (const auto tool = keyValue(Root::LocalMachine, QString::fromUtf16(kToolKey),
                                   QString::fromUtf16(kToolValue))) {
        started = startProgram(*tool);
    } else if (const auto folder = keyValue(Root::LocalMachine, QString::fromUtf16(kFolderKey),
                                            QString::fromUtf16(kFolderValue))) {
        const QString inFolder = *folder + QLatin1Char('/') + QString::fromUtf16(kToolFile);
        started = QFileInfo(inFolder).isFile() && startProgram(inFolder);
    }
    if (!started)
        core::msgBox(QString::fromUtf16(kSysInfoUnavailable));
}

} // namespace viewer
