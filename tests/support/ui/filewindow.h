#pragma once

#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "link/printerlink.h"
#include "ui/errorbox.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The real window, shown, working in a private current directory.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        form = std::make_unique<TForm1>();
        form->show();
        // Up as an operator first sees it: painted, with the rest of the
        // start done.
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->StartFinished(); }, 10000));
        tab = form->TabSheet5;
    }
    void TearDown() override
    {
        form.reset();
        QDir::setCurrent(previousDir);
    }

    // Sends the command buffer as a button handler would: failures end in
    // the error box.
    void Send()
    {
        Guarded([this] { form->Link().SendToPrinter(); })();
    }

    QTemporaryDir dir;
    QString previousDir;
    std::unique_ptr<TForm1> form;
    InterfaceSelectTab *tab = nullptr;
};

// The same with the File interface chosen on its tab: every send lands in
// abc.bin.bin there.
class FileWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QTest::mouseClick(form->TabSheet5->RadioButton5, Qt::LeftButton);
        ASSERT_TRUE(form->TabSheet5->RadioButton5->isChecked());
    }

    // What the last send wrote.
    QByteArray Sent() const
    {
        QFile f(dir.filePath(QStringLiteral("abc.bin.bin")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<nothing sent>");
    }
};
