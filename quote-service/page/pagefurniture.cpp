#include "page/pagefurniture.h"

namespace {

const char* const kSections[] = { "Home", "News", "Markets", "Stocks", "Funds", "Portfolio", "Research",
    "Planning", "Retirement", "Taxes", "Banking", "Tools", "Community" };

const char* const kMenuItems[] = {
    "Market overview",
    "Major indices",
    "Sector performance",
    "Top gainers",
    "Top decliners",
    "Most actives",
    "Currency rates",
    "Bond yields",
    "Commodities",
    "Economic calendar",
    "Earnings calendar",
    "IPO centre",
    "Stock screener",
    "Fund screener",
    "Fund ratings",
    "Analyst ratings",
    "Insider trading",
    "Portfolio manager",
    "Watch lists",
    "Price alerts",
    "Message boards",
    "Newsletters",
    "Glossary",
    "Investing basics",
    "Retirement planner",
    "College savings",
    "Mortgage rates",
    "Loan calculators",
    "Credit cards",
    "Savings accounts",
    "Tax guide",
    "Estate planning",
    "Insurance",
    "Real estate",
};

const char* const kHeadlineStarts[] = {
    "Stocks drift as investors weigh",
    "Markets rally after",
    "Treasury yields climb on",
    "Dollar slips against",
    "Oil prices ease amid",
    "Tech shares lead gains after",
    "Banks retreat as",
    "Analysts see upside in",
    "What to watch this week:",
    "Five things to know before",
    "Retailers brace for",
    "Small caps outpace",
    "Gold steadies as",
    "Chipmakers extend rally on",
    "Energy names slide after",
    "Investors rotate into",
};

const char* const kHeadlineEnds[] = {
    "central bank remarks",
    "jobs report surprises",
    "inflation data",
    "earnings season kicks off",
    "merger talk",
    "holiday spending forecasts",
    "new tariffs",
    "upbeat guidance",
    "weaker factory orders",
    "consumer confidence figures",
    "a wave of upgrades",
    "rate decision looms",
    "housing starts",
    "supply worries",
    "strong quarterly results",
    "policy uncertainty",
};

const char* const kSources[]
    = { "Newswire", "Market Wire", "Business Desk", "Staff Reports", "Wire Services" };

std::uint64_t Next(std::uint64_t& s)
{
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return s >> 33;
}

void AppendStyles(QByteArray& out)
{
    out += "<style type=\"text/css\">\n"
           "body{margin:0;padding:0;font-family:Verdana,Arial,sans-serif;font-size:11px;color:#222;"
           "background:#fff}\n"
           "a{color:#036;text-decoration:none}a:hover{text-decoration:underline}\n"
           "table{border-collapse:collapse}td{vertical-align:top;padding:2px 4px}\n"
           ".cl0{color:#555;white-space:nowrap}.cl1{text-align:right;font-weight:bold}\n"
           ".s1{font-size:22px;font-weight:bold}.s4{color:#080}.s5{color:#c00}.s7{color:#555}\n";
    static const char* const blocks[]
        = { "hdr", "nav", "sub", "col", "box", "ad", "news", "ftr", "tab", "lnk" };
    static const char* const props[] = {
        "margin:0 0 6px 0;padding:4px 6px",
        "border:1px solid #ccd;background:#f4f6fa",
        "font-size:10px;color:#666;line-height:14px",
        "float:left;width:48%;margin-right:2%",
        "clear:both;height:1px;overflow:hidden",
        "border-bottom:1px dotted #99a;padding-bottom:3px",
        "background:#e8ecf4;font-weight:bold;color:#124",
        "display:block;padding:2px 0 2px 10px",
    };
    int n = 0;
    for (const char* b : blocks) {
        for (int i = 0; i < 24; ++i) {
            out += '.';
            out += b;
            out += QByteArray::number(i);
            out += " .";
            out += b;
            out += "-item,.";
            out += b;
            out += QByteArray::number(i);
            out += "-alt{";
            out += props[(n++) % std::size(props)];
            out += "}\n";
        }
    }
    out += "</style>\n";
}

void AppendScripts(QByteArray& out)
{
    out += "<script type=\"text/javascript\">\n"
           "var kxPage={zone:'quotes',site:'money',tile:1,ord:Math.floor(Math.random()*1e10)};\n"
           "function kxCookie(n){var c=document.cookie.split(';');for(var i=0;i<c.length;i++){"
           "var p=c[i].replace(/^\\s+/,'').split('=');if(p[0]==n)return unescape(p[1]);}return null;}\n"
           "function kxSetCookie(n,v,d){var e=new Date();e.setTime(e.getTime()+d*864e5);"
           "document.cookie=n+'='+escape(v)+';expires='+e.toGMTString()+';path=/';}\n"
           "function kxPopup(u,w,h){var f='width='+w+',height='+h+',resizable=yes,scrollbars=yes';"
           "var x=window.open(u,'kxwin',f);if(x)x.focus();return false;}\n"
           "function kxMenu(id,on){var "
           "m=document.getElementById(id);if(m)m.style.display=on?'block':'none';}\n"
           "function kxTrack(ev){var i=new Image(1,1);i.src='/t/pixel.gif?ev='+ev+'&z='+kxPage.zone+'&r='+"
           "kxPage.ord;}\n"
           "function "
           "kxSwap(img,src){if(document.images&&document.images[img])document.images[img].src=src;}\n";
    out += "var kxMenus=[\n";
    for (size_t i = 0; i < std::size(kMenuItems); ++i) {
        for (int j = 0; j < 6; ++j) {
            out += "['m";
            out += QByteArray::number(qulonglong(i * 6 + j));
            out += "','";
            out += kMenuItems[i];
            out += "','/";
            out += QByteArray(kMenuItems[i]).toLower().replace(' ', '-');
            out += "/p";
            out += QByteArray::number(j);
            out += ".asp'],\n";
        }
    }
    out += "['end','','']];\n"
           "for(var kxI=0;kxI<kxMenus.length;kxI++){kxMenus[kxI].push(kxI%2?'even':'odd');}\n"
           "</script>\n";
}

} // namespace

void AppendPageHead(QByteArray& out, const QByteArray& title)
{
    // Built once: only the title differs from page to page.
    static const QByteArray rest = [] {
        QByteArray fixed = " - Kolpex Money</title>\n"
                           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n"
                           "<meta name=\"robots\" content=\"noarchive\">\n"
                           "<link rel=\"shortcut icon\" href=\"/favicon.ico\">\n";
        AppendStyles(fixed);
        AppendScripts(fixed);
        fixed += "</head>\n";
        return fixed;
    }();
    out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n<title>";
    out += title;
    out += rest;
}

namespace {

QByteArray BuildNavigation()
{
    QByteArray out;
    out += "<body onload=\"kxTrack('load')\">\n<div id=\"hdr\"><a href=\"/\"><img src=\"/i/logo.gif\" "
           "width=\"140\" "
           "height=\"32\" alt=\"Kolpex Money\" border=\"0\"></a>\n"
           "<form action=\"/detail/stock_quote\" method=\"get\" style=\"display:inline\">"
           "<input type=\"text\" name=\"Symbol\" size=\"14\"> <input type=\"submit\" value=\"Get "
           "quote\"></form>\n"
           "</div>\n<div id=\"nav\"><table width=\"100%\"><tr>\n";
    int section = 0;
    for (const char* s : kSections) {
        out += "<td class=\"nav";
        out += QByteArray::number(section);
        out += "\" onmouseover=\"kxMenu('menu";
        out += QByteArray::number(section);
        out += "',1)\" onmouseout=\"kxMenu('menu";
        out += QByteArray::number(section);
        out += "',0)\"><a href=\"/";
        out += QByteArray(s).toLower();
        out += "/\">";
        out += s;
        out += "</a>\n<div id=\"menu";
        out += QByteArray::number(section);
        out += "\" style=\"display:none\">";
        for (size_t i = 0; i < 8; ++i) {
            const char* item = kMenuItems[(size_t(section) * 5 + i) % std::size(kMenuItems)];
            out += "<a class=\"nav-item\" href=\"/";
            out += QByteArray(s).toLower();
            out += '/';
            out += QByteArray(item).toLower().replace(' ', '-');
            out += ".asp\">";
            out += item;
            out += "</a><br>";
        }
        out += "</div></td>\n";
        ++section;
    }
    out += "</tr></table></div>\n"
           "<div class=\"ad0\"><a href=\"/ads/click.asp?zone=quotes&amp;pos=top\" onclick=\"kxTrack('ad')\">"
           "<img src=\"/ads/banner468.gif\" width=\"468\" height=\"60\" border=\"0\" "
           "alt=\"Advertisement\"></a>"
           "</div>\n";
    return out;
}

} // namespace

void AppendNews(QByteArray& page, std::uint64_t seed, qsizetype targetBytes)
{
    std::uint64_t s = seed | 1;
    page += "<div class=\"news0\"><h3>Latest market news</h3>\n<ul>\n";
    int item = 0;
    while (page.size() < targetBytes) {
        const char* start = kHeadlineStarts[Next(s) % std::size(kHeadlineStarts)];
        const char* end = kHeadlineEnds[Next(s) % std::size(kHeadlineEnds)];
        const std::uint64_t id = 100000 + Next(s) % 900000;
        page += "<li class=\"news-item\"><a href=\"/news/article.asp?id=";
        page += QByteArray::number(qulonglong(id));
        page += "\" onclick=\"kxTrack('news";
        page += QByteArray::number(item);
        page += "')\">";
        page += start;
        page += ' ';
        page += end;
        page += "</a> <span class=\"sub2\">";
        page += kSources[Next(s) % std::size(kSources)];
        page += ", ";
        page += QByteArray::number(qulonglong(1 + Next(s) % 11));
        page += " hours ago</span>";
        if (item % 4 == 0) {
            page += "<br><span class=\"box3-item\">Investors are weighing the latest figures as the session "
                    "unfolds; traders said positioning remained cautious ahead of the next round of data, "
                    "while strategists kept their year-end targets unchanged.</span>";
        }
        page += "</li>\n";
        if (++item % 12 == 0) {
            page += "</ul>\n<div class=\"ad2\"><img src=\"/ads/box300.gif\" width=\"300\" height=\"250\" "
                    "alt=\"Advertisement\"></div>\n<ul>\n";
        }
    }
    page += "</ul></div>\n";
}

namespace {

QByteArray BuildFooter()
{
    QByteArray out;
    out += "<div id=\"ftr\"><p>";
    for (const char* s : kSections) {
        out += "<a href=\"/";
        out += QByteArray(s).toLower();
        out += "/\">";
        out += s;
        out += "</a> | ";
    }
    out += "</p>\n<p class=\"sub1\">Copyright &copy; Kolpex Money. All rights reserved. Terms of use | "
           "Privacy statement | Advertise with us | Site map | Help</p>\n</div>\n"
           "<script "
           "type=\"text/javascript\">kxTrack('done');if(kxCookie('kxv')==null)kxSetCookie('kxv','1',30);"
           "</script>\n</body>\n</html>\n";
    return out;
}

} // namespace

const QByteArray& PageNavigation()
{
    static const QByteArray navigation = BuildNavigation();
    return navigation;
}

const QByteArray& PageFooter()
{
    static const QByteArray footer = BuildFooter();
    return footer;
}
