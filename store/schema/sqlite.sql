-- The five tables of the punch clock, with a surrogate key each and indexes on the
-- columns that the punches and the search look up. Statements end with a line ';'.
CREATE TABLE employee (
    id integer primary key,
    emp_no varchar(50),
    emp_name varchar(50),
    emp_date varchar(50),
    emp_add varchar(50),
    emp_sex varchar(50),
    emp_dep varchar(50),
    emp_occ varchar(50),
    emp_id varchar(50),
    emp_tel1 varchar(50),
    emp_mobi varchar(50),
    emp_mail varchar(50),
    emp_pic varchar(50),
    emp_inctype varchar(50),
    emp_clock boolean,
    clock_no varchar(50),
    sup_num integer,
    fam_num integer,
    ins_date varchar(50),
    health_lv varchar(50),
    health_acc varchar(50),
    health_no varchar(50),
    bank_no varchar(50),
    bank_name varchar(50),
    bank_cash varchar(50),
    lab_no varchar(50),
    income integer,
    comp varchar(50),
    emp_birth varchar(50),
    emp_blood varchar(50),
    pres_lv varchar(50),
    income2 integer,
    emp_date2 varchar(50),
    ven_no integer,
    lab_acc integer,
    emp_pre varchar(50),
    emp_marry varchar(50),
    emp_high integer,
    emp_weight integer,
    emp_hor varchar(50),
    emp_add2 varchar(50),
    emp_mil varchar(50),
    unitp integer,
    emp_type varchar(50),
    emp_source varchar(255),
    retire_class varchar(50),
    retire_comp integer,
    retire_emp integer,
    retire_rate1 integer,
    reitre_open varchar(50),
    retire_rate2 integer,
    retire_num integer
)
;
CREATE TABLE clock (
    id integer primary key,
    comp varchar(50),
    clock_emp varchar(50),
    clock_sn integer,
    class_no varchar(50),
    class_item varchar(50),
    clock_dat1 varchar(50),
    clock_stime1 varchar(50),
    clock_etime1 varchar(50),
    clock_dat2 varchar(50),
    clock_stime2 varchar(50),
    clock_etime2 varchar(50),
    abs_no varchar(50),
    insu_no varchar(50),
    clock_account integer,
    ven_no integer,
    clock_no varchar(50),
    pres_hour float
)
;
CREATE TABLE pres_sys (
    id integer primary key,
    comp varchar(50),
    class_no varchar(50),
    class_item varchar(50),
    days integer,
    work1 varchar(50),
    work2 varchar(50),
    rest1 varchar(50),
    rest2 varchar(50),
    week1 varchar(50),
    week2 varchar(50),
    hours float
)
;
CREATE TABLE pre_over (
    id integer primary key,
    comp varchar(50),
    pres_emp varchar(50),
    pres_sn integer,
    pres_sdate varchar(50),
    pres_stime varchar(50),
    pres_etime varchar(50),
    pres_res varchar(50),
    pres_lv varchar(50),
    pres_slot varchar(50),
    ven_no integer,
    pres_hour float,
    pres_ashr float
)
;
CREATE TABLE ptemp (
    id integer primary key,
    P00 varchar(50),
    P01 varchar(50),
    P02 varchar(50),
    P03 varchar(50),
    P04 varchar(50)
)
;
CREATE INDEX clock_emp_day ON clock (clock_emp, clock_dat1)
;
CREATE INDEX clock_actual_day ON clock (clock_dat2)
;
CREATE INDEX pre_over_emp_day ON pre_over (pres_emp, pres_sdate)
;
CREATE INDEX pre_over_day ON pre_over (pres_sdate)
;
CREATE INDEX ptemp_tag ON ptemp (P00)
;
CREATE INDEX employee_no ON employee (emp_no)
;
