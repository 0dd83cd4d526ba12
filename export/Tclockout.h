#pragma once

#include "ExportProgress.h"
#include "RecordQuery.h"

#include <QWidget>

#include <chrono>
#include <memory>

class Connection;
class FileUploader;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class XlsWorkbook;
struct TransferSettings;

// The export screen: lists the shift or overtime punches of a date range, stages them into
// ptemp, writes them as a spreadsheet file and uploads the day's file by FTP. The punch screen
// owns it; closing it only hides it.
class Tclockout : public QWidget {
    Q_OBJECT
public:
    Tclockout(Connection& connection, QWidget* parent);
    ~Tclockout() override;

    QLineEdit* MaskEdit1;
    QLabel* Label8;
    QLineEdit* MaskEdit2;
    QComboBox* DBComboBox1;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button2;
    QPushButton* Button4;
    QTableView* DBGrid1;
    QFrame* Panel1;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QPushButton* Button7;
    QTableView* DBGrid2;
    QPushButton* Button1;
    QPushButton* Button3;

    RecordQuery clock_ADOQ;
    RecordQuery clockexp_ADOQ;

    // How long a search or an export runs before its progress dialog may show.
    std::chrono::milliseconds progressDelay{500};

private:
    void FormCreate();
    void Button5Click();
    void Button1Click(const ExportProgress& progress = {});
    void Button6Click();
    void Button3Click();
    void Button4Click();
    void Button7Click();
    void Button2Click();

    XlsWorkbook stagedWorkbook(const ExportProgress& progress);
    void saveReportingFailure(const QString& path, XlsWorkbook workbook);
    TransferSettings panelSettings() const;
    void showOnPanel(const TransferSettings& settings);

    std::unique_ptr<FileUploader> IdFTP1;
};
