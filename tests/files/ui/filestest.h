#pragma once

#include "app/interfaceselecttab.h"
#include "files/ui/filemanagertab.h"
#include "serial/cport.h"
#include "support/tempfile.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"

#include <QByteArray>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// The real window on its File Manager tab, sending over the File interface.
class FileManagerWindow : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        files = form->TabSheet2;
        form->PageControl1->setCurrentWidget(files);
    }
    QString Write(const QString &name, const QByteArray &bytes)
    {
        return WriteTempFile(dir, name, bytes);
    }
    // Chooses a file with "Select File", the dialog answered by the watcher.
    void Select(ModalWatcher &watcher, const QString &path)
    {
        watcher.AnswerFileDialogs({ path });
        QTest::mouseClick(files->Button11, Qt::LeftButton);
    }
    // Chooses COM with the given device.
    void UseCom(const QString &device)
    {
        QTest::mouseClick(form->TabSheet5->RadioButton1, Qt::LeftButton);
        ASSERT_TRUE(form->TabSheet5->RadioButton1->isChecked());
        form->TabSheet5->DK->setEditText(device);
        ASSERT_EQ(form->CP->Port(), device);
    }

    FileManagerTab *files = nullptr;
};
