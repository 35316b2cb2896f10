#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include "support/qtprint.h"

#include <gtest/gtest.h>

// Finds a named control of the window, failing the test when it is missing.
template<class T> T *Find(QWidget *root, const QString &name)
{
    T *w = root->findChild<T *>(name);
    EXPECT_NE(w, nullptr) << "no control named " << name.toStdString();
    return w;
}
