-- The five tables of the punch clock, with a surrogate key each and indexes on the
-- columns that the punches and the search look up. Statements end with a line ';'.
CREATE TABLE employee (
    id int identity(1,1) primary key,
    emp_no nvarchar(50),
    emp_name nvarchar(50),
    emp_date nvarchar(50),
    emp_add nvarchar(50),
    emp_sex nvarchar(50),
    emp_dep nvarchar(50),
    emp_occ nvarchar(50),
    emp_id nvarchar(50),
    emp_tel1 nvarchar(50),
    emp_mobi nvarchar(50),
    emp_mail nvarchar(50),
    emp_pic nvarchar(50),
    emp_inctype nvarchar(50),
    emp_clock bit,
    clock_no nvarchar(50),
    sup_num int,
    fam_num int,
    ins_date nvarchar(50),
    health_lv nvarchar(50),
    health_acc nvarchar(50),
    health_no nvarchar(50),
    bank_no nvarchar(50),
    bank_name nvarchar(50),
    bank_cash nvarchar(50),
    lab_no nvarchar(50),
    income int,
    comp nvarchar(50),
    emp_birth nvarchar(50),
    emp_blood nvarchar(50),
    pres_lv nvarchar(50),
    income2 int,
    emp_date2 nvarchar(50),
    ven_no int,
    lab_acc int,
    emp_pre nvarchar(50),
    emp_marry nvarchar(50),
    emp_high int,
    emp_weight int,
    emp_hor nvarchar(50),
    emp_add2 nvarchar(50),
    emp_mil nvarchar(50),
    unitp int,
    emp_type nvarchar(50),
    emp_source nvarchar(255),
    retire_class nvarchar(50),
    retire_comp int,
    retire_emp int,
    retire_rate1 int,
    reitre_open nvarchar(50),
    retire_rate2 int,
    retire_num int
)
;
CREATE TABLE clock (
    id int identity(1,1) primary key,
    comp nvarchar(50),
    clock_emp nvarchar(50),
    clock_sn int,
    class_no nvarchar(50),
    class_item nvarchar(50),
    clock_dat1 nvarchar(50),
    clock_stime1 nvarchar(50),
    clock_etime1 nvarchar(50),
    clock_dat2 nvarchar(50),
    clock_stime2 nvarchar(50),
    clock_etime2 nvarchar(50),
    abs_no nvarchar(50),
    insu_no nvarchar(50),
    clock_account int,
    ven_no int,
    clock_no nvarchar(50),
    pres_hour float
)
;
CREATE TABLE pres_sys (
    id int identity(1,1) primary key,
    comp nvarchar(50),
    class_no nvarchar(50),
    class_item nvarchar(50),
    days int,
    work1 nvarchar(50),
    work2 nvarchar(50),
    rest1 nvarchar(50),
    rest2 nvarchar(50),
    week1 nvarchar(50),
    week2 nvarchar(50),
    hours float
)
;
CREATE TABLE pre_over (
    id int identity(1,1) primary key,
    comp nvarchar(50),
    pres_emp nvarchar(50),
    pres_sn int,
    pres_sdate nvarchar(50),
    pres_stime nvarchar(50),
    pres_etime nvarchar(50),
    pres_res nvarchar(50),
    pres_lv nvarchar(50),
    pres_slot nvarchar(50),
    ven_no int,
    pres_hour float,
    pres_ashr float
)
;
CREATE TABLE ptemp (
    id int identity(1,1) primary key,
    P00 nvarchar(50),
    P01 nvarchar(50),
    P02 nvarchar(50),
    P03 nvarchar(50),
    P04 nvarchar(50)
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
