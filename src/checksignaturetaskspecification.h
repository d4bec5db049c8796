// Declares CheckSignatureTaskSpecification, the task that runs one digest or signature check.
#pragma once

#include "asynctaskspecification.h"

#include <QString>

class CheckSignatureTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    // An empty sha512 selects the RSA check; failOnError false ends Finished whatever the verdict.
    CheckSignatureTaskSpecification(const QString &filePath, const QString &sha512, bool failOnError, QObject *parent,
                                    qreal weight);

    ASyncFunc *createFunc() override;
    void runDone(bool ok) override;

    QString m_FilePath;
    QString m_Sha512;
    bool m_FailOnError;

signals:
    void checkDone(bool pass, CheckSignatureTaskSpecification *task);
};
