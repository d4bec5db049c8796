// Declares SlowFileOpSpecification, a pool-thread file operation that journals what it creates.
#pragma once

#include "asynctaskspecification.h"

#include <QString>

class RollbackDataList;

class SlowFileOpSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    SlowFileOpSpecification(RollbackDataList *journal, const QString &source, const QString &target,
                            const QString &failureMessage, QObject *parent, qreal weight);
    SlowFileOpSpecification(RollbackDataList *journal, const QString &source, const QString &auxiliary,
                            const QString &target, const QString &failureMessage, QObject *parent, qreal weight);

    // With a journal, an existing target is first moved aside (journalled as a saved copy), so that
    // undoing this operation's FILE_CREATE and then that rename puts the previous content back.
    void execute() override;
    void runDone(bool res) override;
    // False for operations that must refuse an existing target (a plain copy); they leave it alone.
    virtual bool overwritesTarget() const;

    // Where the previous content of target is kept while the operation's result may be undone.
    static QString savedCopyPath(const QString &target);

protected:
    RollbackDataList *m_Journal;
    QString m_Source;
    QString m_Auxiliary;
    QString m_Target;
    QString m_FailureMessage;

private:
    // Whether a failure leaves a partial target that this operation made and may remove.
    bool m_OwnsTarget = false;
};
