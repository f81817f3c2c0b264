// TBCrypt::HashPassword against libxcrypt's crypt_r on the same password, salt and
// cost, interleaved so that both see the same machine load. Compare the "Time" of
// each lodvar/libxcrypt pair: ours should take at most as long.
#include "auth/Bcrypt.h"

#include <benchmark/benchmark.h>
#include <crypt.h>
#include <memory>

namespace {

const QString Password = QStringLiteral("correct horse battery staple");

TBCrypt::TSalt BenchSalt() {
    TBCrypt::TSalt salt;
    for (std::size_t i = 0; i < salt.size(); ++i) {
        salt[i] = static_cast<std::uint8_t>(0x3C + 11 * i);
    }
    return salt;
}

void HashPassword(benchmark::State& state, int cost) {
    const TBCrypt::TSalt salt = BenchSalt();
    for (auto _ : state) {
        TBCrypt::TRawHash raw = TBCrypt::HashPassword(Password, salt, cost);
        benchmark::DoNotOptimize(raw);
    }
}

void CryptR(benchmark::State& state, int cost) {
    const QByteArray setting = QStringLiteral("$2b$%1$%2")
                                   .arg(cost, 2, 10, QLatin1Char('0'))
                                   .arg(TBCrypt::Radix64Encode(BenchSalt(), BcryptSaltLength))
                                   .toLatin1();
    const QByteArray password = Password.toUtf8();
    auto data = std::make_unique<crypt_data>();
    for (auto _ : state) {
        const char* hash = crypt_r(password.constData(), setting.constData(), data.get());
        benchmark::DoNotOptimize(hash);
    }
}

} // namespace

BENCHMARK_CAPTURE(HashPassword, lodvar_cost10, 10)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(CryptR, libxcrypt_cost10, 10)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(HashPassword, lodvar_cost12, 12)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_CAPTURE(CryptR, libxcrypt_cost12, 12)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
