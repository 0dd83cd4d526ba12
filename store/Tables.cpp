#include "Tables.h"

#include "DatabaseError.h"

#include <QStringList>

namespace Tables {

FieldDefs employee()
{
    const auto t = [](const char* name, const char* label = "") {
        return textField(QString::fromUtf8(name), 50, QString::fromUtf8(label));
    };
    const auto i = [](const char* name) { return integerField(QString::fromUtf8(name)); };
    return {t("emp_no", "員工編號"), t("emp_name", "員工名稱"), t("emp_date", "到職日期"), t("emp_add", "地址"),
            t("emp_sex", "性別"), t("emp_dep", "單位"), t("emp_occ", "職務"), t("emp_id", "身分證號"),
            t("emp_tel1", "電話"), t("emp_mobi", "手機"), t("emp_mail", "E-Mail"), t("emp_pic", "照片"),
            t("emp_inctype"), booleanField(QStringLiteral("emp_clock")), t("clock_no", "卡號"), i("sup_num"),
            i("fam_num"), t("ins_date"), t("health_lv"), t("health_acc"), t("health_no"), t("bank_no"),
            t("bank_name"), t("bank_cash"), t("lab_no"), i("income"), t("comp"), t("emp_birth"),
            t("emp_blood"), t("pres_lv"), i("income2"), t("emp_date2"), i("ven_no"), i("lab_acc"),
            t("emp_pre"), t("emp_marry"), i("emp_high"), i("emp_weight"), t("emp_hor"), t("emp_add2"),
            t("emp_mil"), i("unitp"), t("emp_type"), textField(QStringLiteral("emp_source"), 255),
            t("retire_class"), i("retire_comp"), i("retire_emp"), i("retire_rate1"), t("reitre_open"),
            i("retire_rate2"), i("retire_num")};
}

FieldDefs clock()
{
    const auto t = [](const char* name, const char* label = "") {
        return textField(QString::fromUtf8(name), 50, QString::fromUtf8(label));
    };
    const auto i = [](const char* name) { return integerField(QString::fromUtf8(name)); };
    return {t("comp"),       t("clock_emp", "員工編號"), i("clock_sn"),     t("class_no"),
            t("class_item"), t("clock_dat1"),            t("clock_stime1"), t("clock_etime1"),
            t("clock_dat2", "實際上班日期"), t("clock_stime2", "實際上班時間"), t("clock_etime2", "實際下班時間"),
            t("abs_no"),     t("insu_no"),               i("clock_account"), i("ven_no"),
            t("clock_no"),   floatField(QStringLiteral("pres_hour"))};
}

FieldDefs presSys()
{
    const auto t = [](const char* name) { return textField(QString::fromUtf8(name)); };
    return {t("comp"),  t("class_no"), t("class_item"), integerField(QStringLiteral("days")),
            t("work1"), t("work2"),    t("rest1"),      t("rest2"),
            t("week1"), t("week2"),    floatField(QStringLiteral("hours"))};
}

FieldDefs preOver()
{
    const auto t = [](const char* name, const char* label = "") {
        return textField(QString::fromUtf8(name), 50, QString::fromUtf8(label));
    };
    return {t("comp", "公司編號"),       t("pres_emp", "員工編號"), integerField(QStringLiteral("pres_sn"), QStringLiteral("序號")),
            t("pres_sdate", "請始日期"), t("pres_stime", "起始時間"), t("pres_etime", "截止時間"),
            t("pres_res", "加班內容"),   t("pres_lv", "加班等級"),   t("pres_slot", "加班時段"),
            integerField(QStringLiteral("ven_no")), floatField(QStringLiteral("pres_hour")),
            floatField(QStringLiteral("pres_ashr"))};
}

FieldDefs ptemp()
{
    return {textField(QStringLiteral("P01")), textField(QStringLiteral("P02")), textField(QStringLiteral("P03")),
            textField(QStringLiteral("P04")), textField(QStringLiteral("P00"))};
}

FieldDefs only(const FieldDefs& table, const QStringList& names)
{
    FieldDefs chosen;
    for (const QString& name : names) {
        bool found = false;
        for (const FieldDef& def : table) {
            if (def.name == name) {
                chosen.append(def);
                found = true;
            }
        }
        if (!found)
            throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    }
    return chosen;
}

} // namespace Tables
