// A signature's refusal as a journal record, built through the journal's update attempt.
#include "RefusedPackageRecord.h"

#include "Attempts.h"
#include "Journal.h"

void RefusedPackageRecord::write(Journal *journal, const CliOptions &options, const PackageCheck &package)
{
    if (!journal || !package.refusedBySignature())
        return;
    UpdateEnding::Refusal why = UpdateEnding::Refusal::Unsigned;
    if (package.refusal == PackageCheck::Refusal::SignatureInvalid)
        why = UpdateEnding::Refusal::SignatureInvalid;
    else if (package.refusal == PackageCheck::Refusal::UntrustedKey)
        why = UpdateEnding::Refusal::UntrustedKey;
    // The ports named on the command line (none for a station): the attempt was made at them.
    UpdateAttempt attempt(options.ports.join(QLatin1Char(' ')), QString(), options.productRow);
    attempt.setPackage(package.path, package.size, package.sha256);
    attempt.setSignature(SignatureCheck::stateName(package.signature.state), package.signature.keyId);
    journal->record(attempt.finish(UpdateEnding::refused(why)));
}
