#pragma once

#include "app/interfaceselecttab.h"
#include "app/mainform.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The real window, shown, working in a private current directory with the
// File interface chosen on its tab: every send lands in abc.bin.bin there.
class FileWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        form = std::make_unique<TForm1>();
        form->show();
        QTest::mouseClick(form->TabSheet5->RadioButton5, Qt::LeftButton);
        ASSERT_TRUE(form->TabSheet5->RadioButton5->isChecked());
    }
    void TearDown() override
    {
        form.reset();
        QDir::setCurrent(previousDir);
    }

    // What the last send wrote.
    QByteArray Sent() const
    {
        QFile f(dir.filePath(QStringLiteral("abc.bin.bin")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<nothing sent>");
    }

    QTemporaryDir dir;
    QString previousDir;
    std::unique_ptr<TForm1> form;
};
