#ifndef RELEASEMANIFEST_H
#define RELEASEMANIFEST_H

#include "manifest/contentsum.h"
#include "manifest/productiniline.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

class QIODevice;

// The release manifest, published as "<type>.manifest" beside the product
// ini: what the release's Ed25519 keys sign. UTF-8 text, one record a line,
// fields separated by tabs, in exactly this order:
//
//   voxmeadow-release-manifest 1
//   release <type> <version>
//   published <seconds since 1970 UTC>
//   ini <sha256> <size>                      the product ini's bytes
//   patches <sha256> <size>                  the patch index (when there is one)
//   file <section> <key> <sha256> <size> [<unpacked sha256> <unpacked size>]
//   ...
//   end <number of file lines>
//   signature <public key> <signature>       hexadecimal (32 and 64 bytes)
//   ...
//
// The body is everything up to and including the end line; each signature
// covers Ed25519Key::signedMessage(signingContext(), SHA-256 of the body).
// The file lines list the product ini's file lines in the order a
// ProductIniReader hands them out, so the two are read side by side and
// neither is held whole. Signature lines come last, so a second signer adds
// one without touching the body.
class ReleaseManifest
{
public:
    static constexpr qint64 MAX_SIZE = 256 * 1024 * 1024;
    // Largest number of signature lines read: more than any threshold needs.
    static constexpr int MAX_SIGNATURES = 16;

    static QString fileName(const QString& updateType);
    static QByteArray signingContext();

    struct Header
    {
        ProductIniLine::Binding binding;
        qint64 published = 0;
        ContentSum iniSha256;
        qint64 iniSize = 0;
        // Empty without a patch index.
        ContentSum patchesSha256;
        qint64 patchesSize = 0;

        bool hasPatches() const { return patchesSha256.isDigest(); }
    };

    struct File
    {
        QString section;
        QString key;
        ContentSum sha256;
        qint64 size = 0;
        // Empty for a file that is not packed.
        ContentSum unpackedSha256;
        qint64 unpackedSize = 0;

        bool isPacked() const { return unpackedSha256.isDigest(); }
    };

    struct Signature
    {
        QByteArray publicKey;
        QByteArray signature;
    };

    // Writes a manifest: header, files, then finish() writes the end line
    // and returns the body's SHA-256; signature lines follow with
    // writeSignature().
    class Writer
    {
    public:
        Writer(QIODevice* device, const Header& header);
        ~Writer();
        void addFile(const File& file);
        QByteArray finish();
        void writeSignature(const Signature& signature);
        // False once any write failed.
        bool ok() const;

    private:
        class State;
        std::unique_ptr<State> state;
    };

    // Reads a manifest front to back. open() reads the header; nextFile()
    // the file lines one by one; after the last, the end line and the
    // signatures are read and bodySha256() and signatures() hold. Any line
    // out of its place or form stops the reading with errorString() set.
    class Reader
    {
    public:
        explicit Reader(const QString& path);
        ~Reader();
        bool open();
        const Header& header() const;
        // False after the last file line and on any error; tell by failed().
        bool nextFile(File* file);
        // Reads through the remaining file lines to the signatures.
        bool readToEnd();
        bool failed() const;
        QString errorString() const;
        // After the end line: the body's SHA-256 (32 raw bytes) and the
        // signature lines.
        QByteArray bodySha256() const;
        const QList<Signature>& signatures() const;

    private:
        class State;
        std::unique_ptr<State> state;
    };
};

#endif
