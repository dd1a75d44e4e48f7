#include "newerfunctions.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace Excel {

namespace {

constexpr NewerFunction::Kind A = NewerFunction::AddIn, E = NewerFunction::Excel2007, L = NewerFunction::Later;
constexpr const char *None = "", *Fn = "_xlfn.", *Ws = "_xlfn._xlws.";

// Sorted by name (plain byte order), for the binary search below.
const NewerFunction Functions[] = {
    {"ACCRINT", A, None}, {"ACCRINTM", A, None}, {"ACOT", L, Fn}, {"ACOTH", L, Fn}, {"AGGREGATE", L, Fn},
    {"AMORDEGRC", A, None}, {"AMORLINC", A, None}, {"ANCHORARRAY", L, Fn}, {"ARABIC", L, Fn},
    {"ARRAYTOTEXT", L, Fn}, {"AVERAGEIF", E, None}, {"AVERAGEIFS", E, None}, {"BASE", L, Fn},
    {"BESSELI", A, None}, {"BESSELJ", A, None}, {"BESSELK", A, None}, {"BESSELY", A, None},
    {"BETA.DIST", L, Fn}, {"BETA.INV", L, Fn}, {"BIN2DEC", A, None}, {"BIN2HEX", A, None}, {"BIN2OCT", A, None},
    {"BINOM.DIST", L, Fn}, {"BINOM.DIST.RANGE", L, Fn}, {"BINOM.INV", L, Fn}, {"BITAND", L, Fn},
    {"BITLSHIFT", L, Fn}, {"BITOR", L, Fn}, {"BITRSHIFT", L, Fn}, {"BITXOR", L, Fn}, {"BYCOL", L, Fn},
    {"BYROW", L, Fn}, {"CEILING.MATH", L, Fn}, {"CEILING.PRECISE", L, Fn}, {"CHISQ.DIST", L, Fn},
    {"CHISQ.DIST.RT", L, Fn}, {"CHISQ.INV", L, Fn}, {"CHISQ.INV.RT", L, Fn}, {"CHISQ.TEST", L, Fn},
    {"CHOOSECOLS", L, Fn}, {"CHOOSEROWS", L, Fn}, {"COMBINA", L, Fn}, {"COMPLEX", A, None}, {"CONCAT", L, Fn},
    {"CONFIDENCE.NORM", L, Fn}, {"CONFIDENCE.T", L, Fn}, {"CONVERT", A, None}, {"COT", L, Fn}, {"COTH", L, Fn},
    {"COUNTIFS", E, None}, {"COUPDAYBS", A, None}, {"COUPDAYS", A, None}, {"COUPDAYSNC", A, None},
    {"COUPNCD", A, None}, {"COUPNUM", A, None}, {"COUPPCD", A, None}, {"COVARIANCE.P", L, Fn},
    {"COVARIANCE.S", L, Fn}, {"CSC", L, Fn}, {"CSCH", L, Fn}, {"CUBEKPIMEMBER", E, None}, {"CUBEMEMBER", E, None},
    {"CUBEMEMBERPROPERTY", E, None}, {"CUBERANKEDMEMBER", E, None}, {"CUBESET", E, None},
    {"CUBESETCOUNT", E, None}, {"CUBEVALUE", E, None}, {"CUMIPMT", A, None}, {"CUMPRINC", A, None},
    {"DAYS", L, Fn}, {"DEC2BIN", A, None}, {"DEC2HEX", A, None}, {"DEC2OCT", A, None}, {"DECIMAL", L, Fn},
    {"DELTA", A, None}, {"DISC", A, None}, {"DOLLARDE", A, None}, {"DOLLARFR", A, None}, {"DROP", L, Fn},
    {"DURATION", A, None}, {"ECMA.CEILING", E, None}, {"EDATE", A, None}, {"EFFECT", A, None},
    {"ENCODEURL", L, Fn}, {"EOMONTH", A, None}, {"ERF", A, None}, {"ERF.PRECISE", L, Fn}, {"ERFC", A, None},
    {"ERFC.PRECISE", L, Fn}, {"EXPAND", L, Fn}, {"EXPON.DIST", L, Fn}, {"F.DIST", L, Fn}, {"F.DIST.RT", L, Fn},
    {"F.INV", L, Fn}, {"F.INV.RT", L, Fn}, {"F.TEST", L, Fn}, {"FACTDOUBLE", A, None}, {"FIELDVALUE", L, Fn},
    {"FILTER", L, Ws}, {"FILTERXML", L, Fn}, {"FLOOR.MATH", L, Fn}, {"FLOOR.PRECISE", L, Fn},
    {"FORECAST.ETS", L, Fn}, {"FORECAST.ETS.CONFINT", L, Fn}, {"FORECAST.ETS.SEASONALITY", L, Fn},
    {"FORECAST.ETS.STAT", L, Fn}, {"FORECAST.LINEAR", L, Fn}, {"FORMULATEXT", L, Fn}, {"FVSCHEDULE", A, None},
    {"GAMMA", L, Fn}, {"GAMMA.DIST", L, Fn}, {"GAMMA.INV", L, Fn}, {"GAMMALN.PRECISE", L, Fn}, {"GAUSS", L, Fn},
    {"GCD", A, None}, {"GESTEP", A, None}, {"GROUPBY", L, Fn}, {"HEX2BIN", A, None}, {"HEX2DEC", A, None},
    {"HEX2OCT", A, None}, {"HSTACK", L, Fn}, {"HYPGEOM.DIST", L, Fn}, {"IFERROR", E, None}, {"IFNA", L, Fn},
    {"IFS", L, Fn}, {"IMABS", A, None}, {"IMAGE", L, Fn}, {"IMAGINARY", A, None}, {"IMARGUMENT", A, None},
    {"IMCONJUGATE", A, None}, {"IMCOS", A, None}, {"IMCOSH", L, Fn}, {"IMCOT", L, Fn}, {"IMCSC", L, Fn},
    {"IMCSCH", L, Fn}, {"IMDIV", A, None}, {"IMEXP", A, None}, {"IMLN", A, None}, {"IMLOG10", A, None},
    {"IMLOG2", A, None}, {"IMPOWER", A, None}, {"IMPRODUCT", A, None}, {"IMREAL", A, None}, {"IMSEC", L, Fn},
    {"IMSECH", L, Fn}, {"IMSIN", A, None}, {"IMSINH", L, Fn}, {"IMSQRT", A, None}, {"IMSUB", A, None},
    {"IMSUM", A, None}, {"IMTAN", L, Fn}, {"INTRATE", A, None}, {"ISEVEN", A, None}, {"ISFORMULA", L, Fn},
    {"ISO.CEILING", E, None}, {"ISODD", A, None}, {"ISOMITTED", L, Fn}, {"ISOWEEKNUM", L, Fn},
    {"LAMBDA", L, Fn}, {"LCM", A, None}, {"LET", L, Fn}, {"LOGNORM.DIST", L, Fn}, {"LOGNORM.INV", L, Fn},
    {"MAKEARRAY", L, Fn}, {"MAP", L, Fn}, {"MAXIFS", L, Fn}, {"MDURATION", A, None}, {"MINIFS", L, Fn},
    {"MODE.MULT", L, Fn}, {"MODE.SNGL", L, Fn}, {"MROUND", A, None}, {"MULTINOMIAL", A, None},
    {"MUNIT", L, Fn}, {"NEGBINOM.DIST", L, Fn}, {"NETWORKDAYS", A, None}, {"NETWORKDAYS.INTL", E, None},
    {"NOMINAL", A, None}, {"NORM.DIST", L, Fn}, {"NORM.INV", L, Fn}, {"NORM.S.DIST", L, Fn},
    {"NORM.S.INV", L, Fn}, {"NUMBERVALUE", L, Fn}, {"OCT2BIN", A, None}, {"OCT2DEC", A, None},
    {"OCT2HEX", A, None}, {"ODDFPRICE", A, None}, {"ODDFYIELD", A, None}, {"ODDLPRICE", A, None},
    {"ODDLYIELD", A, None}, {"PDURATION", L, Fn}, {"PERCENTILE.EXC", L, Fn}, {"PERCENTILE.INC", L, Fn},
    {"PERCENTOF", L, Fn}, {"PERCENTRANK.EXC", L, Fn}, {"PERCENTRANK.INC", L, Fn}, {"PERMUTATIONA", L, Fn},
    {"PHI", L, Fn}, {"PIVOTBY", L, Fn}, {"POISSON.DIST", L, Fn}, {"PRICE", A, None}, {"PRICEDISC", A, None},
    {"PRICEMAT", A, None}, {"QUARTILE.EXC", L, Fn}, {"QUARTILE.INC", L, Fn}, {"QUOTIENT", A, None},
    {"RANDARRAY", L, Fn}, {"RANDBETWEEN", A, None}, {"RANK.AVG", L, Fn}, {"RANK.EQ", L, Fn},
    {"RECEIVED", A, None}, {"REDUCE", L, Fn}, {"REGEXEXTRACT", L, Fn}, {"REGEXREPLACE", L, Fn},
    {"REGEXTEST", L, Fn}, {"RRI", L, Fn}, {"SCAN", L, Fn}, {"SEC", L, Fn}, {"SECH", L, Fn},
    {"SEQUENCE", L, Fn}, {"SERIESSUM", A, None}, {"SHEET", L, Fn}, {"SHEETS", L, Fn}, {"SINGLE", L, Fn},
    {"SKEW.P", L, Fn}, {"SORT", L, Ws}, {"SORTBY", L, Fn}, {"SQRTPI", A, None}, {"STDEV.P", L, Fn},
    {"STDEV.S", L, Fn}, {"STOCKHISTORY", L, Fn}, {"SWITCH", L, Fn}, {"T.DIST", L, Fn}, {"T.DIST.2T", L, Fn},
    {"T.DIST.RT", L, Fn}, {"T.INV", L, Fn}, {"T.INV.2T", L, Fn}, {"T.TEST", L, Fn}, {"TAKE", L, Fn},
    {"TBILLEQ", A, None}, {"TBILLPRICE", A, None}, {"TBILLYIELD", A, None}, {"TEXTAFTER", L, Fn},
    {"TEXTBEFORE", L, Fn}, {"TEXTJOIN", L, Fn}, {"TEXTSPLIT", L, Fn}, {"TOCOL", L, Fn}, {"TOROW", L, Fn},
    {"TRIMRANGE", L, Fn}, {"UNICHAR", L, Fn}, {"UNICODE", L, Fn}, {"UNIQUE", L, Fn}, {"VALUETOTEXT", L, Fn},
    {"VAR.P", L, Fn}, {"VAR.S", L, Fn}, {"VSTACK", L, Fn}, {"WEBSERVICE", L, Fn}, {"WEEKNUM", A, None},
    {"WEIBULL.DIST", L, Fn}, {"WORKDAY", A, None}, {"WORKDAY.INTL", E, None}, {"WRAPCOLS", L, Fn},
    {"WRAPROWS", L, Fn}, {"XIRR", A, None}, {"XLOOKUP", L, Fn}, {"XMATCH", L, Fn}, {"XNPV", A, None},
    {"XOR", L, Fn}, {"YEARFRAC", A, None}, {"YIELD", A, None}, {"YIELDDISC", A, None}, {"YIELDMAT", A, None},
    {"Z.TEST", L, Fn},
};

} // namespace

const NewerFunction *newerFunction(QStringView name)
{
    if (name.isEmpty() || name.size() > 32)
        return nullptr;
    char up[33];
    for (int i = 0; i < name.size(); ++i) {
        const ushort u = name[i].unicode();
        if (u > 127)
            return nullptr;
        up[i] = char(u >= 'a' && u <= 'z' ? u - 32 : u);
    }
    up[name.size()] = '\0';
    const auto less = [](const NewerFunction &f, const char *n) { return std::strcmp(f.name, n) < 0; };
    const auto it = std::lower_bound(std::begin(Functions), std::end(Functions), up, less);
    return it != std::end(Functions) && std::strcmp(it->name, up) == 0 ? &*it : nullptr;
}

} // namespace Excel
