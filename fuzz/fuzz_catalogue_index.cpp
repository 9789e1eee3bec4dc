// Fuzzes CatalogueIndex::parse: no read outside the input (ASan), a refusal always says why, and
// an accepted index holds only releases within the limits every later step relies on.
#include "CatalogueIndex.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::quietDiagnostics();
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    CatalogueIndex index;
    QString why;
    if (!CatalogueIndex::parse(text, &index, &why)) {
        FUZZ_REQUIRE(!why.isEmpty());
        FUZZ_REQUIRE(index.releases.isEmpty());
        return 0;
    }
    FUZZ_REQUIRE(index.format == 1 && index.sequence >= 0 && index.published.isValid());
    for (const CatalogueRelease &release : index.releases) {
        FUZZ_REQUIRE(CatalogueVersions::valid(release.version));
        FUZZ_REQUIRE(CatalogueVersions::compare(release.version, release.version) == 0);
        FUZZ_REQUIRE(!release.images.isEmpty() && release.images.size() <= 15);
        FUZZ_REQUIRE(release.size > 0 && release.size <= 64LL * 1024 * 1024);
        FUZZ_REQUIRE(release.sha256.size() == 32);
        FUZZ_REQUIRE(!release.package.isEmpty());
        for (const CatalogueImage &image : release.images)
            FUZZ_REQUIRE(CatalogueVersions::valid(image.firmware));
    }
    return 0;
}
