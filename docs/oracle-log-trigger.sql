-- An example for a DBA: an Oracle trigger that writes a record into Varnel's log table for
-- every row that an application changes in one of its tables, here ORDERS(ID, STATUS, AMOUNT).
-- Varnel only reads and deletes these records; something like this trigger writes them.
--
-- The log table (Varnel's login dialog creates it, with a grant and a public synonym, when
-- "Создать таблицу логов" is ticked):
--
--   create table LOG_TABLE(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10),
--                          schanges   VARCHAR2(4000), suser_info VARCHAR2(100));
--
-- The trigger runs with its owner's rights: when LOG_TABLE lives in another schema, its owner
-- grants the trigger's owner "insert" on it. The user-info text is "OS user - computer -
-- database user", the three segments that Varnel's filters split it into.

create sequence LOG_TABLE_SEQ;

create or replace trigger ORDERS_LOG
  after insert or update or delete on ORDERS
  for each row
declare
  v_action  varchar2(10);
  v_changes varchar2(32767);
begin
  if inserting then
    v_action := 'INSERT';
    v_changes := 'ID=' || :new.id || ', STATUS=''' || :new.status || ''', AMOUNT=' || :new.amount;
  elsif updating then
    v_action := 'UPDATE';
    v_changes := 'ID=' || :new.id;
    -- decode compares NULL with NULL as equal: only real changes are written.
    if decode(:old.status, :new.status, 0, 1) = 1 then
      v_changes := v_changes || '; STATUS: ' || :old.status || ' -> ' || :new.status;
    end if;
    if decode(:old.amount, :new.amount, 0, 1) = 1 then
      v_changes := v_changes || '; AMOUNT: ' || :old.amount || ' -> ' || :new.amount;
    end if;
  else
    v_action := 'DELETE';
    v_changes := 'ID=' || :old.id;
  end if;

  insert into LOG_TABLE (sid, ddate, stable, saction, schanges, suser_info)
  values (LOG_TABLE_SEQ.nextval,
          SYSDATE,
          'ORDERS',
          v_action,
          substrb(v_changes, 1, 4000),
          substrb(SYS_CONTEXT('USERENV', 'OS_USER') || ' - ' || SYS_CONTEXT('USERENV', 'HOST')
                  || ' - ' || USER, 1, 100));
end;
/
