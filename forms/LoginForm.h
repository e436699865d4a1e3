#pragma once

// The first window: lists the names stored in the data file that start-up has
// placed, and either accepts a stored user whose password matches or creates
// a new account after asking. Its result is the accepted user name.

#include <QDialog>
#include <QString>

#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TDbMan;

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(const QString &location, QWidget *owner = nullptr);
    ~TfrmLogin() override;

    QString Location;
    QString UserName;
    // The login could not write (a full disk, a read-only file): the ledger
    // opens read-only, so it can still be read and backed up elsewhere.
    bool ReadOnly = false;

    // The example password of the instructions.
    static QString ExamplePassword() { return QStringLiteral("2468"); }

public slots:
    void reject() override; // Cancel, Esc and the close box

protected:
    void showEvent(QShowEvent *event) override; // FormShow / FormActivate
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void btnSubmitClick();
    void btnCancelClick();
    void cboUsernameChange();
    void edtPasswordChange();

private:
    void FormCreate();
    void UpdateSubmit();
    QString FindUserName(const QString &typed);

    std::unique_ptr<TDbMan> DbMan;

    QFrame *bvlRect = nullptr;
    QLabel *lblStep1 = nullptr, *lblStep2 = nullptr, *lblStep3 = nullptr;
    QLabel *lblUsername = nullptr, *lblPassword = nullptr;
    QPushButton *btnSubmit = nullptr, *btnCancel = nullptr;
    QComboBox *cboUsername = nullptr;
    QLineEdit *edtPassword = nullptr;
};
