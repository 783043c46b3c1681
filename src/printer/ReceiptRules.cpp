// SPDX-License-Identifier: MIT
#include "printer/ReceiptRules.h"

#include "printer/ResultCodes.h"

#include <cmath>

using namespace resultcode;

namespace {

constexpr Currency Zero;

// price x quantity in cents, halves up; nullopt above the limit. The price
// is in ten-thousandths and the quantity in thousandths.
std::optional<Currency> lineAmount(Currency price, int64_t thousandths)
{
    const __int128 product = static_cast<__int128>(price.units()) * thousandths;
    constexpr __int128 Divisor = static_cast<__int128>(Currency::Scale) * 1000 / 100; // to cents
    __int128 cents = product / Divisor;
    if ((product % Divisor) * 2 >= Divisor)
        ++cents;
    if (cents * 100 > ReceiptRules::MaxAmount.units())
        return std::nullopt;
    return Currency::fromUnits(static_cast<int64_t>(cents * 100));
}

} // namespace

Currency ReceiptRules::roundedToCents(Currency value)
{
    // Apart first, so that no value near the ends of the range overflows.
    int64_t cents = value.units() / 100;
    const int64_t rest = value.units() % 100;
    if (rest >= 50)
        ++cents;
    else if (rest <= -50)
        --cents;
    return Currency::fromUnits(cents * 100);
}

void ReceiptRules::openFiscal()
{
    if (m_document != Document::None)
        return;
    m_document = Document::Fiscal;
    m_net = m_paid = Zero;
    m_itemLines = 0;
}

bool ReceiptRules::takesLines() const
{
    return m_document == Document::Fiscal || (m_terms.opensOnAnyLine && m_document == Document::None);
}

ReceiptRules::Item ReceiptRules::item(bool isReturn, std::optional<float> quantity, Currency price, int16_t dept)
{
    if (m_document != Document::None && m_document != Document::Fiscal)
        return {WrongSequence};
    if (dept < 1 || dept > MaxDepartment)
        return {UnknownDepartment};
    if (price < Zero)
        return {InvalidData};
    int64_t thousandths = 1000;
    if (quantity) {
        if (std::isnan(*quantity) || *quantity <= 0)
            return {InvalidData};
        const auto read = m_terms.thousandths(*quantity);
        if (!read)
            return {AmountTooLarge};
        if (*read <= 0)
            return {InvalidData}; // below half a thousandth
        thousandths = *read;
    }
    Currency unitPrice = price;
    if (m_terms.amountsInCents) {
        unitPrice = roundedToCents(price);
        if (unitPrice > MaxAmount)
            return {AmountTooLarge};
    }
    const auto amount = lineAmount(unitPrice, thousandths);
    if (!amount)
        return {AmountTooLarge};
    const Currency net = m_document == Document::None ? Zero : m_net;
    if (!isReturn && net + *amount > MaxAmount)
        return {AmountTooLarge};
    if (isReturn && net - *amount < Zero)
        return {NegativeTotal};

    openFiscal();
    ++m_itemLines;
    m_net += isReturn ? -*amount : *amount;
    return {Ok, *amount, unitPrice, thousandths};
}

int16_t ReceiptRules::description()
{
    if (!takesLines())
        return WrongSequence;
    openFiscal();
    return Ok;
}

int16_t ReceiptRules::extraLine(int16_t line)
{
    if (line < 1 || line > MaxExtraLine)
        return InvalidData;
    // Extra lines may follow the total.
    if (!takesLines() && m_document != Document::Payment)
        return WrongSequence;
    openFiscal();
    return Ok;
}

int16_t ReceiptRules::subtotal()
{
    return description();
}

ReceiptRules::Discount ReceiptRules::discount(Currency amount)
{
    if (!takesLines())
        return {WrongSequence};
    if (amount < Zero)
        return {InvalidData};
    const Currency value = roundedToCents(amount);
    if ((m_terms.amountsInCents ? value : amount) > MaxAmount)
        return {AmountTooLarge};
    // A record with no discount to give is accepted and gives nothing.
    if (value == Zero)
        return {Ok};
    const Currency net = m_document == Document::None ? Zero : m_net;
    if (net - value < Zero)
        return {NegativeTotal};
    openFiscal();
    m_net -= value;
    return {Ok, value};
}

ReceiptRules::Payment ReceiptRules::pay(std::optional<Currency> amount, bool cash)
{
    if (!fiscalOpen())
        return {WrongSequence};
    if (!m_terms.opensOnAnyLine && m_document == Document::Fiscal && m_itemLines == 0)
        return {WrongSequence};
    const Currency due = this->due();
    Currency paid = due;
    if (amount && *amount != Zero) {
        if (*amount < Zero)
            return {InvalidData};
        const Currency value = roundedToCents(*amount);
        if ((m_terms.amountsInCents ? value : *amount) > MaxAmount)
            return {AmountTooLarge};
        paid = value;
        if (paid == Zero)
            return {InvalidData};
        if (paid > due && !cash)
            return {NonCashExcess};
    }
    m_document = Document::Payment;
    m_paid += paid;
    if (m_paid < m_net)
        return {Ok, paid};
    const Payment done{Ok, paid, true, m_paid - m_net, m_net};
    cancel();
    return done;
}

bool ReceiptRules::cancel()
{
    if (!fiscalOpen())
        return false;
    m_document = Document::None;
    m_net = m_paid = Zero;
    m_itemLines = 0;
    return true;
}

int16_t ReceiptRules::openNonFiscal()
{
    if (m_document != Document::None)
        return WrongSequence;
    m_document = Document::NonFiscal;
    return Ok;
}

int16_t ReceiptRules::nonFiscalLine() const
{
    return m_document == Document::NonFiscal ? Ok : WrongSequence;
}

int16_t ReceiptRules::closeNonFiscal()
{
    if (m_document != Document::NonFiscal)
        return WrongSequence;
    m_document = Document::None;
    return Ok;
}

int16_t ReceiptRules::amountEntry(Currency amount) const
{
    if (m_document != Document::None && m_document != Document::NonFiscal)
        return WrongSequence;
    if (amount > MaxAmount || amount < -MaxAmount)
        return AmountTooLarge;
    return Ok;
}

int16_t ReceiptRules::closure() const
{
    return m_document == Document::None ? Ok : WrongSequence;
}
