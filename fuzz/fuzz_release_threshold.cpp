#include "verify/ed25519key.h"
#include "verify/releasetrust.h"

#include <QSet>

#include <cstddef>
#include <cstdint>

namespace {

// Fixed test keys: A and B count, C is listed but revoked, D is unknown.
struct Keys
{
    Keys()
    {
        for (int i = 0; i < 4; ++i) {
            keys[i] = Ed25519Key::fromPrivate(QByteArray(Ed25519Key::KeySize, char('A' + i)));
            valid[i] = keys[i].sign(Ed25519Key::signedMessage(ReleaseManifest::signingContext(), body));
            otherBody[i] = keys[i].sign(Ed25519Key::signedMessage(ReleaseManifest::signingContext(), other));
            otherContext[i] = keys[i].sign(Ed25519Key::signedMessage("another document", body));
        }
        const auto hex = [this](int i) { return QString::fromLatin1(keys[i].publicKey().toHex()); };
        trust = ReleaseTrust::fromText(hex(0) + ";" + hex(1) + "," + hex(2), 2, hex(2), 0);
    }

    const QByteArray body = QByteArray(32, '\x5a');
    const QByteArray other = QByteArray(32, '\xa5');
    Ed25519Key keys[4];
    QByteArray valid[4];
    QByteArray otherBody[4];
    QByteArray otherContext[4];
    ReleaseTrust trust;
};

} // namespace

// A list of signature lines made from the input, each by one of the keys or
// an arbitrary one, with a valid signature, one of another document or of
// the other context, a flipped bit or arbitrary bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Keys fixed;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<ReleaseManifest::Signature> signatures;
    // The fixed keys with an entry that may verify, and with one that does.
    QSet<int> mayCount;
    QSet<int> mustCount;
    qsizetype at = 0;
    while (at < input.size() && signatures.size() < 64) {
        const auto op = quint8(input.at(at++));
        const int signer = op & 3;
        ReleaseManifest::Signature signature;
        signature.publicKey = fixed.keys[signer].publicKey();
        if (op & 0x80 && at + Ed25519Key::KeySize <= input.size()) {
            signature.publicKey = input.mid(at, Ed25519Key::KeySize);
            at += Ed25519Key::KeySize;
        }
        const int kind = (op >> 2) & 7;
        switch (kind) {
        case 0: signature.signature = fixed.valid[signer]; break;
        case 1: signature.signature = fixed.otherBody[signer]; break;
        case 2: signature.signature = fixed.otherContext[signer]; break;
        case 3: {
            signature.signature = fixed.valid[signer];
            const auto bit = at < input.size() ? quint8(input.at(at++)) : quint8(0);
            signature.signature[bit / 8 % Ed25519Key::SignatureSize] ^= char(1 << bit % 8);
            break;
        }
        case 4: signature.signature = fixed.valid[signer].left(Ed25519Key::SignatureSize - 1); break;
        default:
            signature.signature = input.mid(at, Ed25519Key::SignatureSize);
            at += signature.signature.size();
            break;
        }
        for (int i = 0; i < 4; ++i) {
            if (signature.publicKey != fixed.keys[i].publicKey())
                continue;
            // Arbitrary bytes may happen to be the valid signature; the other kinds never verify.
            if (kind == 0 || kind > 4)
                mayCount.insert(i);
            if (signature.signature == fixed.valid[i])
                mustCount.insert(i);
        }
        signatures.append(signature);
    }
    const int counted = fixed.trust.validSignatures(fixed.body, signatures);
    // One count at most for each key that counts (A, B) and may have signed,
    // however often; none for C, D or any other; one at least for each of A
    // and B with its valid signature in the list.
    const int countable = int(mayCount.contains(0)) + int(mayCount.contains(1));
    const int proven = int(mustCount.contains(0)) + int(mustCount.contains(1));
    if (counted > countable || counted < proven
        || fixed.trust.reachesThreshold(fixed.body, signatures) != (counted >= 2))
        __builtin_trap();
    return 0;
}
