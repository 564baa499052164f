// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

class ImageExplore;

// The browser window, the application's start-up object.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);

    // Start-up sequence; the command text is the program's arguments joined
    // by single blanks.
    void Form_Load(const QString &commandText);

    ImageExplore *ImageExplore1 = nullptr;
};
